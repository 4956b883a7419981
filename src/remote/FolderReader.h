#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/LoginOptions.h"
#include "remote/NameList.h"
#include "util/Failure.h"

// What a folder reader learnt of one folder.
struct FolderReading {
    bool entered = false;  // the folder could be entered
    bool odd = false;      // entered, but its listing must be read another way
    std::string path;      // as the server reported it (a usable absolute path), else the path asked for
    std::string id;        // the server's identity for it, or empty
    NameList names;        // its listing
};

// One login of the fast walk, which reads several folders per round trip:
// over FTP by probing on the control connection (FolderProbe), over SFTP
// with directory reads in flight at once.
//
// Used by one thread at a time.
class FolderReader {
public:
    virtual ~FolderReader() = default;

    // The FTP or the SFTP reader, as the host text's scheme says.
    static std::unique_ptr<FolderReader> forHost(const std::string& hostText, LoginOptions options);

    // 1 when logged in; 0 otherwise (also when the server refuses one more
    // login, and when the cancel flag was set meanwhile).
    virtual int connect(const std::string& host, const std::string& account, const std::string& password) = 0;
    // The folder the server put us in at login; empty when unknown.
    virtual const std::string& entryPath() const = 0;
    // Reads the folders at the given paths. Returns how many were answered
    // in full; fewer than asked when the connection broke or went silent
    // (the next one is the folder left unanswered), or when the replies came
    // out of step (then outOfStep() is true). With wantIdentities, each
    // folder's identity is asked for where the protocol has one.
    virtual size_t read(const std::vector<std::string>& paths, std::vector<FolderReading>& results,
                        bool wantIdentities) = 0;
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

// Makes the readers of a walk: FolderReader::forHost, or a test's own.
using FolderReaderFactory = std::function<std::unique_ptr<FolderReader>(const std::string& hostText, LoginOptions)>;
