#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "remote/RemoteHost.h"
#include "remote/LoginOptions.h"
#include "remote/RemoteSession.h"
#include "remote/sftp/SshWire.h"

typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;
typedef struct _LIBSSH2_CHANNEL LIBSSH2_CHANNEL;

// SFTP (version 3) over one SSH login: the TCP connection, the SSH
// handshake with the host key checked against the known hosts, the login
// by password, and the SFTP channel on which requests may be pipelined:
// several sent at once, their replies read back by request id.
//
// Used by one thread at a time.
class SftpConnection {
public:
    // Packet types and status codes of the protocol.
    enum Type : uint8_t {
        kOpen = 3, kClose = 4, kRead = 5, kWrite = 6, kLstat = 7, kOpendir = 11, kReaddir = 12, kRemove = 13,
        kRealpath = 16, kStat = 17, kRename = 18, kExtended = 200,
        kStatus = 101, kHandle = 102, kData = 103, kName = 104, kAttrs = 105,
    };
    enum Status : uint32_t { kOk = 0, kEof = 1, kNoSuchFile = 2, kPermissionDenied = 3, kFailure = 4 };

    struct Reply {
        uint8_t type = 0;
        uint32_t id = 0;
        std::string body;  // what follows the id
        // For a status reply: its code and message.
        uint32_t status() const;
        std::string statusText() const;
    };

    SftpConnection();
    ~SftpConnection();
    SftpConnection(const SftpConnection&) = delete;
    SftpConnection& operator=(const SftpConnection&) = delete;

    void setOptions(LoginOptions options) { options_ = std::move(options); }

    // 1 when logged in with the SFTP channel open; 0 otherwise (lastError()
    // and trustProblem() say why).
    int connect(const RemoteHost& host, const std::string& account, const std::string& password);

    // Queues a request; it goes with the next flush or read. Returns its id.
    uint32_t send(Type type, const std::string& payload, const std::string& traceText);
    bool flush();
    // The reply to the request id; replies to other requests met on the way
    // are kept for later. False when the connection is gone or silent.
    bool reply(uint32_t id, Reply& out);
    // Drops the reply to id whenever it comes (a CLOSE nobody waits for).
    void forget(uint32_t id) { forgotten_.push_back(id); }

    // One listing or upload (or a batch of listings) from begin to end:
    // it fails when it outlasts the transfer limit, or when it moves fewer
    // than kLowSpeedBytesPerSecond over the stall limit, as FTP's do.
    void beginTransfer();
    void endTransfer() { inTransfer_ = false; }
    class Transfer {
    public:
        explicit Transfer(SftpConnection& connection) : connection_(connection) { connection_.beginTransfer(); }
        ~Transfer() { connection_.endTransfer(); }
        Transfer(const Transfer&) = delete;
        Transfer& operator=(const Transfer&) = delete;

    private:
        SftpConnection& connection_;
    };
    // Whether the connection was given up on a deadline (no reply, a
    // transfer too slow or too long): asking again would wait as long.
    bool timedOut() const { return timedOut_; }

    bool offers(const std::string& extension) const;
    const std::string& loginFolder() const { return loginFolder_; }
    // A folder typed from "/" as FTP shows it ("/public_html") may lie
    // below the login folder: SFTP seldom shuts a login in its home. The
    // path there, or empty when that is the folder itself.
    std::string belowLogin(const std::string& folder) const;
    bool connected() const { return channel_ != nullptr; }
    const std::string& lastError() const { return lastError_; }
    // Why the last connect failed (see LoginFailure).
    FailureKind loginFailure() const { return loginFailure_; }
    const TrustProblem& trustProblem() const { return trust_; }
    void close();

    static constexpr size_t kLowSpeedBytesPerSecond = 64;

private:
    bool open(const RemoteHost& host);
    bool trusted(const RemoteHost& host);
    bool login(const std::string& account, const std::string& password);
    bool startSftp();
    bool readPacket(Reply& out);
    bool writeAll(const std::string& bytes);
    bool readExact(size_t size, std::string& out);
    bool failed(const std::string& text);  // notes a lost connection; false
    bool overdue(const std::string& text);  // the same, on a deadline
    // Counts bytes moved; false (the connection given up) when the
    // transfer is past its limit or too slow.
    bool transferMoves(size_t bytes);
    long transferWaitMs() const;  // the longest a step may wait now
    bool keepWaiting(const std::string& text);
    bool cancelled() const { return options_.cancel && options_.cancel->load(); }
    template <typename Step>
    auto finish(Step step, long limitMs = -1, bool cancellable = true) -> decltype(step());
    void trace(const std::string& line) const;

    LoginOptions options_;
    std::string password_;  // for keyboard-interactive prompts
    LIBSSH2_SESSION* session_ = nullptr;
    LIBSSH2_CHANNEL* channel_ = nullptr;
    intptr_t socket_ = -1;
    std::vector<std::string> extensions_;
    std::string loginFolder_;
    std::string pending_;  // queued requests
    std::string input_;    // bytes read, not yet a whole packet
    std::vector<Reply> early_;  // replies read before they were asked for
    std::vector<uint32_t> forgotten_;
    std::unordered_set<uint32_t> awaiting_;  // ids sent and not yet answered
    uint32_t nextId_ = 1;
    std::chrono::steady_clock::time_point replyDeadline_;
    bool inTransfer_ = false;
    std::chrono::steady_clock::time_point transferDeadline_, speedWindowStart_;
    size_t speedWindowBytes_ = 0;
    bool timedOut_ = false;
    bool lost_ = false;
    bool loggedIn_ = false;  // the cancel flag stops logins only
    bool closing_ = false;   // nor a goodbye
    std::string lastError_;
    FailureKind loginFailure_ = FailureKind::None;
    TrustProblem trust_;
};
