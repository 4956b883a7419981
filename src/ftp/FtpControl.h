#pragma once

#include <chrono>
#include <string>
#include <vector>

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

    // 1 when logged in; 0 otherwise (also when the server refuses one more
    // connection).
    int connect(const std::string& host, const std::string& account, const std::string& password);

    // Sends the commands in one go. False when the connection is gone, or
    // when a command holds CR, LF or NUL (then nothing is sent).
    bool send(const std::vector<std::string>& commands);

    // Reads the next reply. False when the connection is gone or no reply
    // came in time.
    bool readReply(Reply& reply);

    // The folder the server put us in at login; empty when unknown.
    const std::string& entryPath() const { return entryPath_; }
    bool lost() const { return lost_; }
    void close();

private:
    static constexpr long kQuitWaitMs = 2000;
    bool fill(std::chrono::steady_clock::time_point deadline);  // reads more bytes into buffer_

    CURL* curl_ = nullptr;
    std::string buffer_;
    std::string entryPath_;
    bool lost_ = false;
};
