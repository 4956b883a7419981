#pragma once

#include <string>

#include "remote/RemoteHost.h"
#include "remote/RemoteSession.h"
#include "remote/sftp/SftpConnection.h"

// One SFTP login for one generation, used by one thread. SFTP has no
// current folder: the session keeps it, as the server resolves it
// (REALPATH), and names every file and folder by its full path.
class SftpSession : public RemoteSession {
public:
    SftpSession() = default;
    ~SftpSession() override { close(); }

    void setOptions(LoginOptions options) override { options_ = std::move(options); }
    // host: "sftp://name[:port]".
    int connect(const std::string& host, const std::string& account, const std::string& password) override;
    int changeDirectory(const std::string& path) override;
    int listNames(NameList& names) override;
    int currentDirectory(std::string& path) override;
    // SFTP has no ASCII type: every file goes byte for byte.
    int putFile(const std::string& localName, const std::string& remoteName, int mode) override;
    int readFile(const std::string& name, std::string& content, size_t maxBytes) override;
    int close() override;
    bool connected() const override { return connection_.connected(); }
    bool connectionLost() const override { return lost_; }
    bool timedOut() const override { return lost_ && connection_.timedOut(); }
    const std::string& lastError() const override { return lastError_; }
    const TrustProblem& trustProblem() const override { return connection_.trustProblem(); }
    FailureKind loginFailure() const override { return connection_.loginFailure(); }
    ListOutcome lastListOutcome() const override { return lastList_; }
    // SFTP names no folder identity: the resolved path is one.
    std::string currentFolderId() override { return {}; }
    std::string alternativeTarget(const std::string& folder) const override { return connection_.belowLogin(folder); }

private:
    using Reply = SftpConnection::Reply;
    bool request(SftpConnection::Type type, const std::string& payload, const std::string& what, Reply& reply);
    bool fail(const Reply& reply, const std::string& what);  // notes the server's refusal; false
    bool lost();                                             // notes the lost connection; false
    bool openFile(const std::string& path, uint32_t flags, std::string& handle);
    bool writeFile(const std::string& localName, const std::string& handle);
    bool closeFile(const std::string& handle);
    bool replace(const std::string& from, const std::string& to);
    bool rename(const std::string& from, const std::string& to);
    std::string fullPath(const std::string& name) const;

    SftpConnection connection_;
    LoginOptions options_;
    std::string currentPath_;
    ListOutcome lastList_ = ListOutcome::Empty;
    std::string lastError_;
    bool lost_ = false;
};
