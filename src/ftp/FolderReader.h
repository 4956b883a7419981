#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ftp/FolderProbe.h"
#include "ftp/FtpOptions.h"

// One login of the fast walk, which reads several folders per round trip:
// over FTP by probing on the control connection (FolderProbe), over SFTP
// with directory reads in flight at once.
//
// Used by one thread at a time.
class FolderReader {
public:
    using Result = FolderProbe::Result;

    virtual ~FolderReader() = default;

    // The FTP or the SFTP reader, as the host text's scheme says.
    static std::unique_ptr<FolderReader> forHost(const std::string& hostText, FtpOptions options);

    // 1 when logged in; 0 otherwise (also when the server refuses one more
    // login, and when the cancel flag was set meanwhile).
    virtual int connect(const std::string& host, const std::string& account, const std::string& password) = 0;
    // The folder the server put us in at login; empty when unknown.
    virtual const std::string& entryPath() const = 0;
    // Reads the folders at the given paths. Returns how many were answered
    // in full; fewer than asked when the connection broke or went silent
    // (the next one is the folder left unanswered), or when the replies came
    // out of step (then outOfStep() is true). identitiesFirst and useMlst:
    // see FolderProbe (FTP only).
    virtual size_t read(const std::vector<std::string>& paths, std::vector<Result>& results, bool identitiesFirst,
                        bool useMlst) = 0;
    virtual bool outOfStep() const = 0;
    // Why the last read was given up on a deadline when another way of
    // reading the folder would wait as long again; empty otherwise.
    virtual std::string overdue() const { return {}; }
    // Why the last connect failed, and in whose words (the server's reply
    // to the login, or the client's).
    virtual FailureKind loginFailure() const = 0;
    virtual const std::string& loginError() const = 0;
    // See RemoteSession::alternativeTarget.
    virtual std::string alternativeTarget(const std::string& folder) const {
        (void)folder;
        return {};
    }
};
