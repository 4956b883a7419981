#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "remote/RemoteHost.h"
#include "util/Failure.h"

namespace known_hosts {
class File;
}

// How every login of a generation is set up, FTP and SFTP alike: time
// limits, what is traced, and what stops it.
struct LoginOptions {
    // Establishing the control connection.
    long connectTimeoutSeconds = 30;
    // A reply that does not begin, or a transfer that moves (almost)
    // nothing, for this long fails the operation.
    long stallTimeoutSeconds = 60;
    // One whole reply, or one whole listing or upload, however it trickles.
    long replyTimeoutSeconds = 300;
    long transferTimeoutSeconds = 900;

    // Called with each command sent and each reply line received, the
    // password masked; from whichever thread runs the connection, so it
    // must be thread-safe. Empty: nothing is traced.
    std::function<void(const std::string& line)> trace;
    // A login refused with 421 (the server still counts our last one, or
    // allows no more at the moment) is asked again a few times; false asks
    // once, for a login that can as well come later.
    bool retryBusyLogin = true;
    // Set from another thread to stop logins still on their way (only the
    // login: what a logged-in FtpSession does next is not stopped by it).
    const std::atomic<bool>* cancel = nullptr;
    // Set from another thread to stop the whole generation (the stop
    // button, Ctrl+C): every wait of every connection, login or not, ends
    // within a moment.
    const std::atomic<bool>* stop = nullptr;
    bool stopped() const { return stop && stop->load(); }
    // FtpControl: set from another thread to give up the reply this
    // connection waits for (its answer came another way); the connection
    // is then not used again.
    const std::atomic<bool>* abandon = nullptr;
    bool abandoned() const { return abandon && abandon->load(); }
    // A file of certificates (PEM) trusted besides the system's own, for a
    // server whose certificate a private authority signed. Never a way
    // around verification: names and dates are checked all the same.
    std::string caFile;

    // SFTP: the file of trusted host keys (OpenSSH's known_hosts form),
    // shared by the run's connections; null, none is trusted. A host not in it is trusted when
    // trustNewHostKey says so (called on the connecting thread with
    // "host:port" and the key's "SHA256:..." fingerprint, e.g. after asking
    // the user); its key is then added to the file. A host whose key
    // differs from the file's is never trusted.
    std::shared_ptr<known_hosts::File> knownHosts;
    std::function<bool(const std::string& host, const std::string& fingerprint)> trustNewHostKey;
};
