#include "ftp/FtpControl.h"

#include <curl/curl.h>

#include <cctype>
#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/select.h>
#endif

#include "ftp/FtpHost.h"
#include "ftp/FtpLimits.h"

namespace {

// Waits until the socket can be read (or written); false on time-out.
bool waitSocket(curl_socket_t socket, bool forWriting, long timeoutSeconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{timeoutSeconds, 0};
    int ready = select(static_cast<int>(socket) + 1, forWriting ? nullptr : &set, forWriting ? &set : nullptr,
                       nullptr, &timeout);
    return ready > 0;
}

bool isReplyStart(const std::string& line, char separator) {
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])) &&
           line[3] == separator;
}

}  // namespace

FtpControl::FtpControl() = default;

FtpControl::~FtpControl() { close(); }

int FtpControl::connect(const std::string& host, const std::string& account, const std::string& password) {
    close();
    auto parsed = FtpHost::parse(host);
    if (!parsed || account.find_first_of("\r\n") != std::string::npos ||
        password.find_first_of("\r\n") != std::string::npos)
        return 0;
    curl_ = curl_easy_init();
    if (!curl_) return 0;
    std::string url = parsed->urlPrefix() + "/";
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    ftp_limits::applyLoginOptions(curl_, account, password);
    curl_easy_setopt(curl_, CURLOPT_CONNECT_ONLY, 1L);
    if (curl_easy_perform(curl_) != CURLE_OK) {
        curl_easy_cleanup(curl_);
        curl_ = nullptr;
        return 0;
    }
    char* entry = nullptr;
    if (curl_easy_getinfo(curl_, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry && entry[0] == '/')
        entryPath_ = entry;
    lost_ = false;
    return 1;
}

bool FtpControl::send(const std::vector<std::string>& commands) {
    if (!curl_ || lost_) return false;
    std::string text;
    for (const auto& command : commands) text += command + "\r\n";
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket);
    size_t sent = 0;
    while (sent < text.size()) {
        size_t n = 0;
        CURLcode code = curl_easy_send(curl_, text.data() + sent, text.size() - sent, &n);
        if (code == CURLE_AGAIN) {
            if (!waitSocket(socket, true, ftp_limits::kStallTimeoutSeconds)) return !(lost_ = true);
            continue;
        }
        if (code != CURLE_OK) return !(lost_ = true);
        sent += n;
    }
    return true;
}

bool FtpControl::fill() {
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket);
    char chunk[16384];
    for (;;) {
        size_t n = 0;
        CURLcode code = curl_easy_recv(curl_, chunk, sizeof chunk, &n);
        if (code == CURLE_OK) {
            if (n == 0) return false;  // closed by the server
            buffer_.append(chunk, n);
            return true;
        }
        if (code != CURLE_AGAIN) return false;
        if (!waitSocket(socket, false, ftp_limits::kStallTimeoutSeconds)) return false;
    }
}

bool FtpControl::readReply(Reply& reply) {
    reply = Reply{};
    if (!curl_ || lost_) return false;
    size_t pos = 0;
    std::string first;
    for (;;) {
        size_t end = buffer_.find("\r\n", pos);
        if (end == std::string::npos) {
            if (!fill()) {
                lost_ = true;
                return false;
            }
            continue;
        }
        std::string line = buffer_.substr(pos, end - pos);
        pos = end + 2;
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
    return true;
}

void FtpControl::close() {
    if (!curl_) return;
    if (!lost_) {
        size_t n = 0;
        curl_easy_send(curl_, "QUIT\r\n", 6, &n);
    }
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
    buffer_.clear();
}
