#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "remote/LoginOptions.h"

typedef void CURL;

// A logged-in FTP control connection on which commands are sent as raw
// lines and may be pipelined: several sent at once, their replies read
// back in order. The FTP client sets the connection up (name lookup,
// timeouts, login); nothing here opens a data connection.
//
// Used by one thread at a time.
class FtpControl {
public:
    struct Reply {
        int code = 0;                    // 0 when no reply came
        std::vector<std::string> lines;  // every line, CR LF removed
    };

    FtpControl();
    ~FtpControl();
    FtpControl(const FtpControl&) = delete;
    FtpControl& operator=(const FtpControl&) = delete;

    // Limits, trace and cancel flag for the next connect.
    void setOptions(LoginOptions options) { options_ = std::move(options); }

    // 1 when logged in; 0 otherwise (also when the server refuses one more
    // connection, and when the cancel flag was set meanwhile).
    int connect(const std::string& host, const std::string& account, const std::string& password);

    // Sends the commands in one go. False when the connection is gone, or
    // when a command holds CR, LF or NUL (then nothing is sent).
    bool send(const std::vector<std::string>& commands);

    // Reads the next reply. False when the connection is gone or no reply
    // came in time.
    bool readReply(Reply& reply);

    // The folder the server put us in at login; empty when unknown.
    const std::string& entryPath() const { return entryPath_; }
    // Why the last connect failed: its kind, and the server's last reply
    // (or the client's words when there was none).
    FailureKind loginFailure() const { return loginFailure_; }
    const std::string& loginError() const { return loginError_; }
    void close();

private:
    static constexpr long kQuitWaitMs = 2000;
    static constexpr long kSliceMs = 100;  // the longest wait before a stop is seen
    bool fill(std::chrono::steady_clock::time_point deadline);  // reads more bytes into buffer_

    long waitBudgetMs(std::chrono::steady_clock::time_point deadline) const;

    CURL* curl_ = nullptr;
    LoginOptions options_;
    std::string buffer_;
    std::string entryPath_;
    FailureKind loginFailure_ = FailureKind::None;
    std::string loginError_;
    std::string lastReply_;  // during connect
    static size_t onReplyLine(char* data, size_t size, size_t count, void* self);
    bool lost_ = false;
};
