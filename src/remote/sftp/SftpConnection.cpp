#include "remote/sftp/SftpConnection.h"

#include <libssh2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "remote/sftp/KnownHosts.h"
#include "util/HostName.h"

namespace {

constexpr uint8_t kInit = 1, kVersion = 2;
constexpr uint32_t kMaxPacket = 1u << 20;  // larger than any reply we ask for
constexpr int kSliceMs = 100;               // how often a wait looks at the cancel flag
constexpr size_t kMaxEarlyReplies = 4096;   // more than any batch asks for at once
constexpr long kGoodbyeMs = 2000;

#ifdef _WIN32
using Socket = SOCKET;
using AddressLength = int;
constexpr Socket kNoSocket = INVALID_SOCKET;
void closeSocket(Socket s) { closesocket(s); }
bool setNonBlocking(Socket s) {
    u_long on = 1;
    return ioctlsocket(s, static_cast<long>(FIONBIO), &on) == 0;
}
bool connectPending() { return WSAGetLastError() == WSAEWOULDBLOCK; }
// 1 connected, 0 not yet, -1 refused.
// 1 ready, 0 not yet, -1 failed.
int waitReady(Socket s, bool reading, bool writing, int ms) {
    fd_set readable, writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    if (reading) FD_SET(s, &readable);
    if (writing) FD_SET(s, &writable);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    int n = select(0, &readable, &writable, nullptr, &wait);
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}
int waitConnected(Socket s, int ms) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    int n = select(0, nullptr, &writable, &failed, &wait);
    if (n < 0 || FD_ISSET(s, &failed)) return -1;
    return n > 0 ? 1 : 0;
}
#else
using Socket = int;
using AddressLength = socklen_t;
constexpr Socket kNoSocket = -1;
void closeSocket(Socket s) { ::close(s); }
bool setNonBlocking(Socket s) { return fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) == 0; }
bool connectPending() { return errno == EINPROGRESS; }
int waitReady(Socket s, bool reading, bool writing, int ms) {
    pollfd p{s, static_cast<short>((reading ? POLLIN : 0) | (writing ? POLLOUT : 0)), 0};
    int n = poll(&p, 1, ms);
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}
int waitConnected(Socket s, int ms) {
    pollfd p{s, POLLOUT, 0};
    int n = poll(&p, 1, ms);
    if (n <= 0) return n < 0 ? -1 : 0;
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0 ? 1 : -1;
}
#endif

std::string sessionError(LIBSSH2_SESSION* session) {
    char* message = nullptr;
    int length = 0;
    libssh2_session_last_error(session, &message, &length, 0);
    return message ? std::string(message, static_cast<size_t>(length)) : std::string("SSH error");
}

bool listed(const char* methods, const char* method) {
    if (!methods) return false;
    std::string list = std::string(",") + methods + ",";
    return list.find(std::string(",") + method + ",") != std::string::npos;
}

LIBSSH2_USERAUTH_KBDINT_RESPONSE_FUNC(answerWithPassword) {
    (void)name, (void)name_len, (void)instruction, (void)instruction_len, (void)prompts;
    const std::string& password = *static_cast<const std::string*>(*abstract);
    // Every prompt gets the password: that is all a password login asks.
    for (int i = 0; i < num_prompts; ++i) {
        responses[i].text = static_cast<char*>(std::malloc(password.size() + 1));
        if (!responses[i].text) continue;
        std::memcpy(responses[i].text, password.c_str(), password.size() + 1);
        responses[i].length = static_cast<unsigned>(password.size());
    }
}

}  // namespace

uint32_t SftpConnection::Reply::status() const {
    uint32_t code = kFailure;
    size_t at = 0;
    ssh_wire::getU32(body, at, code);
    return code;
}

std::string SftpConnection::Reply::statusText() const {
    uint32_t code = 0;
    std::string text;
    size_t at = 0;
    ssh_wire::getU32(body, at, code);
    ssh_wire::getString(body, at, text);
    return text.empty() ? "status " + std::to_string(code) : text;
}

SftpConnection::SftpConnection() = default;

SftpConnection::~SftpConnection() { close(); }

void SftpConnection::trace(const std::string& line) const {
    if (options_.trace) options_.trace(line);
}

bool SftpConnection::failed(const std::string& text) {
    lost_ = true;
    lastError_ = text;
    trace("! " + text);
    return false;
}

bool SftpConnection::overdue(const std::string& text) {
    timedOut_ = true;
    return failed(text);
}

void SftpConnection::beginTransfer() {
    inTransfer_ = true;
    speedWindowStart_ = std::chrono::steady_clock::now();
    transferDeadline_ = speedWindowStart_ + std::chrono::seconds(options_.transferTimeoutSeconds);
    speedWindowBytes_ = 0;
}

bool SftpConnection::transferMoves(size_t bytes) {
    if (!inTransfer_) return true;
    const auto now = std::chrono::steady_clock::now();
    speedWindowBytes_ += bytes;
    if (now > transferDeadline_)
        return overdue("listing or transfer not done within " + std::to_string(options_.transferTimeoutSeconds) + " s");
    const auto window = std::chrono::seconds(options_.stallTimeoutSeconds);
    if (now - speedWindowStart_ < window) return true;
    if (speedWindowBytes_ < kLowSpeedBytesPerSecond * static_cast<size_t>(options_.stallTimeoutSeconds))
        return overdue("listing or transfer slower than " + std::to_string(kLowSpeedBytesPerSecond) + " bytes a second");
    speedWindowStart_ = now;
    speedWindowBytes_ = 0;
    return true;
}

// A step that waited to its limit: true when that was a mark of the
// transfer's and the transfer may go on; else the connection is given up.
bool SftpConnection::keepWaiting(const std::string& text) {
    if (inTransfer_ && transferMoves(0) && !options_.stopped()) return true;
    return lost_ ? false : overdue(text);
}

long SftpConnection::transferWaitMs() const {
    const long stall = options_.stallTimeoutSeconds * 1000;
    if (!inTransfer_) return stall;
    const auto now = std::chrono::steady_clock::now();
    const auto window = std::chrono::seconds(options_.stallTimeoutSeconds);
    const auto until = std::min(transferDeadline_, speedWindowStart_ + window);
    const long left = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count());
    return std::clamp(left + 1, 1L, stall);  // past the mark by a moment: then transferMoves() judges
}

int SftpConnection::connect(const RemoteHost& host, const std::string& account, const std::string& password) {
    close();
    lost_ = false;
    timedOut_ = false;
    lastError_.clear();
    trust_ = {};
    password_ = password;
    // Lost or refused, a failed login is not a lost connection.
    bool ok = open(host);  // sets loginFailure_ when it fails
    if (ok) loginFailure_ = FailureKind::LoginFailed;
    if (ok && !trusted(host)) {
        loginFailure_ = trust_.kind == TrustProblem::Kind::HostKeyChanged   ? FailureKind::HostKeyChanged
                        : trust_.kind == TrustProblem::Kind::HostKeyUnknown ? FailureKind::HostKeyUnknown
                                                                            : FailureKind::LoginFailed;
        ok = false;
    }
    if (ok && !login(account, password)) {
        const bool refused = libssh2_session_last_errno(session_) == LIBSSH2_ERROR_AUTHENTICATION_FAILED;
        loginFailure_ = refused && !cancelled() ? FailureKind::LoginRefused : FailureKind::LoginFailed;
        ok = false;
    }
    ok = ok && startSftp();
    if (ok) loginFailure_ = FailureKind::None;
    if (!ok) {
        const std::string error = lastError_;
        close();
        lastError_ = error;
        lost_ = false;
        return 0;
    }
    return 1;
}

// The TCP connection and the SSH handshake.
bool SftpConnection::open(const RemoteHost& host) {
    const std::string name = host.host.find(':') == std::string::npos ? host_name::asciiHost(host.host) : host.host;
    loginFailure_ = FailureKind::HostNotFound;
    if (name.empty()) return failed("cannot read the host name " + host.host);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), std::to_string(host.port).c_str(), &hints, &found) != 0 || !found)
        return failed("cannot resolve " + host.host);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options_.connectTimeoutSeconds);
    Socket s = kNoSocket;
    bool timedOut = false;
    for (addrinfo* a = found; a && s == kNoSocket && !cancelled(); a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == kNoSocket) continue;
        int state = 0;
        if (!setNonBlocking(s)) state = -1;
        else if (::connect(s, a->ai_addr, static_cast<AddressLength>(a->ai_addrlen)) == 0) state = 1;
        else if (!connectPending()) state = -1;
        while (state == 0 && !cancelled() && std::chrono::steady_clock::now() < deadline)
            state = waitConnected(s, kSliceMs);
        timedOut = timedOut || state == 0;
        if (state != 1) {
            closeSocket(s);
            s = kNoSocket;
        }
    }
    freeaddrinfo(found);
    loginFailure_ = cancelled() ? FailureKind::LoginFailed
                    : timedOut  ? FailureKind::NoAnswer
                                : FailureKind::ConnectionRefused;
    if (s == kNoSocket) return failed(cancelled() ? "given up" : "cannot connect to " + host.host);
    socket_ = static_cast<intptr_t>(s);

    session_ = libssh2_session_init_ex(nullptr, nullptr, nullptr, &password_);
    loginFailure_ = FailureKind::LoginFailed;
    if (!session_) return failed("cannot start an SSH session");
    libssh2_session_set_blocking(session_, 0);  // every wait is ours: see finish()
    // Not cut short by the cancel flag: libssh2 leaks its key-exchange keys
    // when a handshake is abandoned halfway. The stall limit still holds.
    const int handshake =
        finish([&] { return libssh2_session_handshake(session_, static_cast<libssh2_socket_t>(s)); }, -1, false);
    if (handshake != 0) {
        // A server that never speaks is one that does not answer.
        if (handshake == LIBSSH2_ERROR_TIMEOUT) loginFailure_ = FailureKind::NoAnswer;
        return failed("SSH handshake failed: " + sessionError(session_));
    }
    return true;
}

// The host key against the known hosts; a new one is trusted only when the
// caller says so, and then kept.
bool SftpConnection::trusted(const RemoteHost& host) {
    const std::string fingerprint = known_hosts::fingerprint(session_);
    const std::string hostPort = host.host + ":" + std::to_string(host.port);
    trace("host key " + fingerprint);
    known_hosts::Verdict verdict = known_hosts::Verdict::Unknown;
    std::string unreadable;
    if (options_.knownHosts && !options_.knownHosts->check(session_, host.host, host.port, verdict, unreadable)) {
        lastError_ = unreadable;  // no key can be checked against it, nor added to it
        return false;
    }
    switch (verdict) {
        case known_hosts::Verdict::Known:
            return true;
        case known_hosts::Verdict::Changed:
            trust_ = {TrustProblem::Kind::HostKeyChanged, {}, fingerprint,
                      "the host key of " + hostPort + " is not the one trusted before (" + fingerprint + ")"};
            lastError_ = trust_.text;
            return false;
        case known_hosts::Verdict::Unknown:
            break;
    }
    if (!options_.trustNewHostKey || !options_.trustNewHostKey(hostPort, fingerprint)) {
        trust_ = {TrustProblem::Kind::HostKeyUnknown, {}, fingerprint,
                  "the host key of " + hostPort + " is not trusted yet (" + fingerprint + ")"};
        lastError_ = trust_.text;
        return false;
    }
    std::string error;
    if (options_.knownHosts && !options_.knownHosts->trust(session_, host.host, host.port, error))
        trace("! " + error);  // trusted for this run all the same
    return true;
}

bool SftpConnection::login(const std::string& account, const std::string& password) {
    if (cancelled()) return failed("given up");
    const auto length = static_cast<unsigned>(account.size());
    const char* methods = nullptr;
    finish([&] {
        methods = libssh2_userauth_list(session_, account.c_str(), length);
        return methods ? 0 : libssh2_session_last_errno(session_);
    });
    if (!methods && libssh2_userauth_authenticated(session_)) return true;
    trace("USER " + account + " (offered: " + (methods ? methods : "?") + ")");
    if (listed(methods, "password") && finish([&] {
            return libssh2_userauth_password_ex(session_, account.c_str(), length, password.c_str(),
                                                static_cast<unsigned>(password.size()), nullptr);
        }) == 0)
        return true;
    if (listed(methods, "keyboard-interactive") && finish([&] {
            return libssh2_userauth_keyboard_interactive_ex(session_, account.c_str(), length, &answerWithPassword);
        }) == 0)
        return true;
    lastError_ = "login refused: " + sessionError(session_);
    trace("! " + lastError_);
    return false;
}

bool SftpConnection::startSftp() {
    if (cancelled()) return failed("given up");
    finish([&] {
        channel_ = libssh2_channel_open_session(session_);
        return channel_ ? 0 : libssh2_session_last_errno(session_);
    });
    if (!channel_ || finish([&] { return libssh2_channel_subsystem(channel_, "sftp"); }) != 0)
        return failed("the server offers no SFTP: " + sessionError(session_));
    loggedIn_ = true;
    std::string init;
    ssh_wire::putU32(init, 5);
    init += static_cast<char>(kInit);
    ssh_wire::putU32(init, 3);
    replyDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(options_.replyTimeoutSeconds);
    Reply version;
    if (!writeAll(init) || !readPacket(version)) return false;
    if (version.type != kVersion) return failed("not an SFTP server");
    // Version 3 is what is asked for and spoken here; a server answering
    // another would have its attributes misread.
    if (version.id != 3)
        return failed("the server speaks SFTP version " + std::to_string(version.id) + ", not version 3");
    // The id's place holds the version; extension names and data follow.
    size_t at = 0;
    std::string name, data;
    while (ssh_wire::getString(version.body, at, name) && ssh_wire::getString(version.body, at, data)) extensions_.push_back(name);
    std::string payload;
    ssh_wire::putString(payload, ".");
    Reply home;
    if (!reply(send(kRealpath, payload, "REALPATH ."), home)) return false;
    size_t place = 4;
    if (home.type == kName) ssh_wire::getString(home.body, place, loginFolder_);
    trace("login folder " + loginFolder_);
    return true;
}

std::string SftpConnection::belowLogin(const std::string& folder) const {
    if (folder.empty() || folder.front() != '/' || loginFolder_.empty() || loginFolder_ == "/") return {};
    return loginFolder_ + folder;
}

// Runs one libssh2 step to its end: it answers EAGAIN while it waits for
// the network. The wait is ours, in slices, so that the cancel flag stops a
// login at once and a silent server fails the step after the stall limit.
template <typename Step>
auto SftpConnection::finish(Step step, long limitMs, bool cancellable) -> decltype(step()) {
    if (limitMs < 0) limitMs = options_.stallTimeoutSeconds * 1000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        auto result = step();
        if (result != LIBSSH2_ERROR_EAGAIN) return result;
        if (cancellable && !loggedIn_ && !closing_ && cancelled()) return LIBSSH2_ERROR_TIMEOUT;
        if (cancellable && !closing_ && options_.stopped()) return LIBSSH2_ERROR_TIMEOUT;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return LIBSSH2_ERROR_TIMEOUT;
        const int directions = libssh2_session_block_directions(session_);
        waitReady(static_cast<Socket>(socket_), directions & LIBSSH2_SESSION_BLOCK_INBOUND,
                  directions & LIBSSH2_SESSION_BLOCK_OUTBOUND, static_cast<int>(std::min<long long>(left.count(), kSliceMs)));
    }
}

bool SftpConnection::offers(const std::string& extension) const {
    return std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end();
}

uint32_t SftpConnection::send(Type type, const std::string& payload, const std::string& traceText) {
    const uint32_t id = nextId_++;
    awaiting_.insert(id);
    ssh_wire::putU32(pending_, static_cast<uint32_t>(payload.size() + 5));
    pending_ += static_cast<char>(type);
    ssh_wire::putU32(pending_, id);
    pending_ += payload;
    if (!traceText.empty()) trace(traceText);
    return id;
}

bool SftpConnection::flush() {
    if (pending_.empty()) return !lost_;
    replyDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(options_.replyTimeoutSeconds);
    std::string bytes;
    bytes.swap(pending_);
    return writeAll(bytes);
}

bool SftpConnection::reply(uint32_t id, Reply& out) {
    if (!flush()) return false;
    for (auto it = early_.begin(); it != early_.end(); ++it) {
        if (it->id == id) {
            out = std::move(*it);
            early_.erase(it);
            return true;
        }
    }
    for (;;) {
        if (!readPacket(out)) return false;
        // A reply to an id never asked, or answered already, is a server
        // out of step with us: nothing it says after can be trusted.
        if (awaiting_.erase(out.id) == 0) return failed("SFTP replies out of step");
        if (out.id == id) return true;
        auto forgotten = std::find(forgotten_.begin(), forgotten_.end(), out.id);
        if (forgotten != forgotten_.end()) forgotten_.erase(forgotten);
        else if (early_.size() >= kMaxEarlyReplies) return failed("SFTP replies out of step");
        else early_.push_back(std::move(out));
    }
}

bool SftpConnection::readPacket(Reply& out) {
    std::string header, packet;
    if (!readExact(4, header)) return false;
    size_t at = 0;
    uint32_t length = 0;
    ssh_wire::getU32(header, at, length);
    if (length < 5 || length > kMaxPacket) return failed("SFTP reply of " + std::to_string(length) + " bytes");
    if (!readExact(length, packet)) return false;
    out.type = static_cast<uint8_t>(packet[0]);
    at = 1;
    ssh_wire::getU32(packet, at, out.id);
    out.body = packet.substr(5);
    return true;
}

bool SftpConnection::readExact(size_t size, std::string& out) {
    char buffer[65536];
    while (input_.size() < size) {
        if (!channel_) return failed("not connected");
        if (std::chrono::steady_clock::now() > replyDeadline_) return overdue("no whole reply in time");
        ssize_t n = finish([&] { return libssh2_channel_read(channel_, buffer, sizeof buffer); }, transferWaitMs());
        if (n == LIBSSH2_ERROR_TIMEOUT && keepWaiting("no reply in time")) continue;
        if (n == LIBSSH2_ERROR_TIMEOUT) return false;
        if (n < 0) return failed("connection lost: " + sessionError(session_));
        if (n == 0) return failed("the server closed the connection");
        if (!transferMoves(static_cast<size_t>(n))) return false;
        input_.append(buffer, static_cast<size_t>(n));
    }
    out.assign(input_, 0, size);
    input_.erase(0, size);
    return true;
}

bool SftpConnection::writeAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (!channel_) return failed("not connected");
        ssize_t n = finish([&] { return libssh2_channel_write(channel_, bytes.data() + done, bytes.size() - done); },
                           transferWaitMs());
        if (n == LIBSSH2_ERROR_TIMEOUT && keepWaiting("the server takes nothing in")) continue;
        if (n == LIBSSH2_ERROR_TIMEOUT) return false;
        if (n < 0) return failed("connection lost: " + sessionError(session_));
        if (!transferMoves(static_cast<size_t>(n))) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void SftpConnection::close() {
    // A short goodbye, also after a cancelled login: a server gone silent
    // must not hold us. The last step blocks (within that limit) so that
    // everything is freed whatever the server does.
    closing_ = true;
    if (session_) {
        if (channel_) finish([&] { return libssh2_channel_close(channel_); }, kGoodbyeMs);
        finish([&] { return libssh2_session_disconnect(session_, "done"); }, kGoodbyeMs);
        libssh2_session_set_blocking(session_, 1);
        libssh2_session_set_timeout(session_, kGoodbyeMs);
        if (channel_) libssh2_channel_free(channel_);
        libssh2_session_free(session_);
    }
    channel_ = nullptr;
    session_ = nullptr;
    closing_ = false;
    inTransfer_ = false;
    loggedIn_ = false;
    if (socket_ != -1) closeSocket(static_cast<Socket>(socket_));
    socket_ = -1;
    pending_.clear();
    input_.clear();
    early_.clear();
    awaiting_.clear();
    forgotten_.clear();
    extensions_.clear();
}
