#include "remote/ftp/FtpControl.h"

#include <curl/curl.h>

#include "remote/ftp/ListingParser.h"
#include "remote/NameList.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#include <sys/socket.h>
#endif

#include "remote/RemoteHost.h"
#include "remote/ftp/FtpLogin.h"

namespace {

// A reply line longer than this, or a reply larger than this in all, is no
// reply a folder walk needs: the connection is given up.
constexpr size_t kMaxReplyLineBytes = 64u << 10;
constexpr size_t kMaxReplyBytes = kMaxKeptListingBytes;  // the lines as held, see readReply

using Clock = std::chrono::steady_clock;

// Waits until the socket can be read (or written); false on time-out.
bool waitSocket(curl_socket_t socket, bool forWriting, long timeoutMs) {
#ifdef _WIN32
    WSAPOLLFD entry{socket, static_cast<SHORT>(forWriting ? POLLWRNORM : POLLRDNORM), 0};
    return WSAPoll(&entry, 1, static_cast<INT>(timeoutMs)) > 0;
#else
    pollfd entry{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    return poll(&entry, 1, static_cast<int>(timeoutMs)) > 0;
#endif
}


bool isReplyStart(const std::string& line, char separator) {
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])) &&
           line[3] == separator;
}

}  // namespace

FtpControl::FtpControl() = default;

// Milliseconds left until the deadline, at most the stall limit.
long FtpControl::waitBudgetMs(Clock::time_point deadline) const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<long>(std::clamp<long long>(left, 0, options_.stallTimeoutSeconds * 1000LL));
}

FtpControl::~FtpControl() { close(); }

size_t FtpControl::onReplyLine(char* data, size_t size, size_t count, void* self) {
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    static_cast<FtpControl*>(self)->lastReply_ = line.substr(0, 512);
    return size * count;
}

int FtpControl::connect(const std::string& host, const std::string& account, const std::string& password) {
    close();
    loginFailure_ = FailureKind::LoginFailed;
    loginError_ = "cannot log in to " + host;
    auto parsed = RemoteHost::parse(host);
    if (!parsed || parsed->security == RemoteHost::Security::Sftp) return 0;
    curl_ = curl_easy_init();
    if (!curl_) return 0;
    std::string url = parsed->urlPrefix() + "/";
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    if (!ftp_login::applyLogin(curl_, *parsed, account, password, options_)) {
        curl_easy_cleanup(curl_);
        curl_ = nullptr;
        return 0;
    }
    curl_easy_setopt(curl_, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &FtpControl::onReplyLine);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, this);
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorText);
    lastReply_.clear();
    const CURLcode code = curl_easy_perform(curl_);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
    long replyCode = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &replyCode);
    loginFailure_ = ftp_login::loginFailure(code, replyCode);
    if (code != CURLE_OK) {
        loginError_ = loginFailure_ == FailureKind::LoginRefused && !lastReply_.empty() ? lastReply_
                      : errorText[0]                                             ? errorText
                                                                                 : curl_easy_strerror(code);
        curl_easy_cleanup(curl_);
        curl_ = nullptr;
        return 0;
    }
    loginError_.clear();
    char* entry = nullptr;
    if (curl_easy_getinfo(curl_, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry && entry[0] == '/')
        entryPath_ = entry;
    lost_ = false;
    // A server that offers UTF8 may speak another character set to clients
    // that do not ask for it: ask before any path goes out.
    Reply features, utf8;
    if (!send({"FEAT"}) || !readReply(features) ||
        (listing::offersFeature(features.lines, "UTF8") && (!send({"OPTS UTF8 ON"}) || !readReply(utf8)))) {
        loginFailure_ = FailureKind::ConnectionLost;
        loginError_ = "no reply to FEAT from " + host;
        close();
        return 0;
    }
    return 1;
}

bool FtpControl::send(const std::vector<std::string>& commands) {
    if (!curl_ || lost_) return false;
    std::string text;
    for (const auto& command : commands) {
        // A line break inside a command would smuggle in another one.
        if (!listing::fitsInCommand(command)) {
            lost_ = true;
            return false;
        }
        text += listing::telnetEscaped(command) + "\r\n";
        if (options_.trace) options_.trace("> " + ftp_login::masked(command));
    }
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket);
    const auto deadline = Clock::now() + std::chrono::seconds(options_.stallTimeoutSeconds);
    size_t sent = 0;
    while (sent < text.size()) {
        size_t n = 0;
        CURLcode code = curl_easy_send(curl_, text.data() + sent, text.size() - sent, &n);
        if (code == CURLE_AGAIN && waitSocket(socket, true, waitBudgetMs(deadline))) continue;
        if (code != CURLE_OK) {
            lost_ = true;
            return false;
        }
        sent += n;
    }
    return true;
}

bool FtpControl::fill(Clock::time_point deadline) {
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket);
    char chunk[16384];
    // Waited in slices, so that a stop is seen at once; the stall limit
    // counts from here.
    const auto stalled = Clock::now() + std::chrono::seconds(options_.stallTimeoutSeconds);
    for (;;) {
        size_t n = 0;
        CURLcode code = curl_easy_recv(curl_, chunk, sizeof chunk, &n);
        if (code == CURLE_OK) {
            if (n == 0) return false;  // closed by the server
            buffer_.append(chunk, n);
            return true;
        }
        if (code != CURLE_AGAIN || options_.stopped() || options_.abandoned()) return false;
        const long budget = std::min(waitBudgetMs(deadline), waitBudgetMs(stalled));
        if (budget <= 0) return false;
        waitSocket(socket, false, std::min(budget, kSliceMs));
    }
}

bool FtpControl::readReply(Reply& reply) {
    reply = Reply{};
    if (!curl_ || lost_) return false;
    // A reply has a deadline of its own: a server that trickles a byte now
    // and then cannot keep us waiting for ever.
    const auto deadline = Clock::now() + std::chrono::seconds(options_.replyTimeoutSeconds);
    size_t pos = 0, scanned = 0, total = 0;
    std::string first;
    for (;;) {
        size_t end = buffer_.find("\r\n", scanned);
        if (end == std::string::npos) {
            scanned = buffer_.size() > pos ? buffer_.size() - 1 : pos;  // a CR may wait for its LF
            if (buffer_.size() - pos > kMaxReplyLineBytes || !fill(deadline)) {
                lost_ = true;
                return false;
            }
            continue;
        }
        total += end - pos + sizeof(std::string);  // what the line holds in memory
        if (total > kMaxReplyBytes) {
            lost_ = true;
            return false;
        }
        std::string line = buffer_.substr(pos, end - pos);
        pos = scanned = end + 2;
        if (reply.lines.empty()) {
            if (!isReplyStart(line, ' ') && !isReplyStart(line, '-')) continue;  // stray text
            first = line.substr(0, 3);
            reply.lines.push_back(line);
            if (line[3] == ' ') break;
        } else {
            reply.lines.push_back(line);
            if (line.compare(0, 3, first) == 0 && isReplyStart(line, ' ')) break;
        }
    }
    buffer_.erase(0, pos);
    reply.code = std::stoi(first);
    if (options_.trace)
        for (const auto& line : reply.lines) options_.trace("< " + line);
    return true;
}

void FtpControl::close() {
    if (!curl_) return;
    if (lost_) {
        // Nothing more is said on a connection given up: the client would
        // otherwise say QUIT and wait for a server that may be busy for
        // minutes.
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket);
#ifdef _WIN32
        if (socket != CURL_SOCKET_BAD) shutdown(socket, SD_BOTH);
#else
        if (socket != CURL_SOCKET_BAD) shutdown(socket, SHUT_RDWR);
#endif
    } else if (send({"QUIT"})) {
        // Wait (briefly) for the server to answer, so that it no longer
        // counts this login when the next one arrives.
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kQuitWaitMs);
        char chunk[4096];
        for (;;) {
            size_t n = 0;
            CURLcode code = curl_easy_recv(curl_, chunk, sizeof chunk, &n);
            if (code == CURLE_OK && n > 0) {  // the 221, or what was still on its way
                buffer_.append(chunk, n);
                if (buffer_.size() > kMaxReplyLineBytes) buffer_.erase(0, buffer_.size() - 8);
                if (buffer_.find("221 ") != std::string::npos && buffer_.find("\r\n", buffer_.find("221 ")) != std::string::npos)
                    break;
                continue;
            }
            long budget = waitBudgetMs(deadline);
            if (code != CURLE_AGAIN || budget <= 0 || !waitSocket(socket, false, budget)) break;
        }
    }
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
    buffer_.clear();
}
