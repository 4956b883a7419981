#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "remote/LoginOptions.h"
#include "remote/NameList.h"

// Why a login refused the server itself: its TLS certificate, or its SSH
// host key.
struct TrustProblem {
    enum class Kind { None, Certificate, HostKeyUnknown, HostKeyChanged };
    Kind kind = Kind::None;
    std::string names;        // a certificate's names, when they are not the host's ("a.jp, *.a.jp")
    std::string fingerprint;  // a host key's, as ssh-keygen -l prints it ("SHA256:...")
    std::string text;         // what is wrong, in the client's words
};

// One login for one generation, used by one thread: FTP (plain or over
// TLS) or SFTP, as the host text's scheme says.
//
// Results are small integers: connect 1/0, changeDirectory 1/0, listNames the
// number of names appended, currentDirectory 0/-1, putFile 1/-1, readFile
// 1/0/-1, close 1/0. Names and paths are raw bytes and go to the server
// unchanged.
class RemoteSession {
public:
    virtual ~RemoteSession() = default;

    // FtpSession or SftpSession, as the host text's scheme says.
    static std::unique_ptr<RemoteSession> forHost(const std::string& hostText);

    // Limits, trace and cancel flag for the next connect.
    virtual void setOptions(LoginOptions options) = 0;

    virtual int connect(const std::string& host, const std::string& account, const std::string& password) = 0;
    virtual int changeDirectory(const std::string& path) = 0;
    virtual int listNames(NameList& names) = 0;
    virtual int currentDirectory(std::string& path) = 0;
    // mode 1 sends in binary type, any other value in ASCII type (FTP).
    virtual int putFile(const std::string& localName, const std::string& remoteName, int mode) = 0;
    // Reads the file name of the current folder, in binary, into content:
    // at most maxBytes of it, the rest is not read. 1 read, 0 missing or
    // refused, -1 the connection is gone.
    virtual int readFile(const std::string& name, std::string& content, size_t maxBytes) = 0;
    virtual int close() = 0;
    virtual bool connected() const = 0;

    // True when the last failed operation failed because the connection is
    // gone or timed out, rather than because the server refused it.
    virtual bool connectionLost() const = 0;
    // True when it failed on one of its deadlines (a reply that never came,
    // a listing that trickled): asking again would only wait as long again.
    virtual bool timedOut() const { return false; }

    // Why the last operation failed: the server's words, or the client's.
    virtual const std::string& lastError() const = 0;

    // Whether the last connect failed because the server itself was not
    // trusted, and why (lastError() says it too).
    virtual const TrustProblem& trustProblem() const = 0;

    // Why the last connect failed (None after one that succeeded).
    virtual FailureKind loginFailure() const = 0;

    // How the last listNames went: a listing that was refused or could not
    // be read is not an empty folder.
    enum class ListOutcome { Listed, Empty, Refused, Unreadable };
    virtual ListOutcome lastListOutcome() const = 0;

    // The server's identity for the current folder, or empty when it offers
    // none (then the folder's path is its identity).
    virtual std::string currentFolderId() = 0;

    // Where else the target folder may be when it is not where it was typed
    // (SFTP: below the login folder); empty when nowhere else.
    virtual std::string alternativeTarget(const std::string& folder) const {
        (void)folder;
        return {};
    }

    // The name an upload goes to until it is whole.
    static constexpr const char* kUploadSuffix = ".uploading";
};
