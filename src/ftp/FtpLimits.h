#pragma once

#include <curl/curl.h>

#include <string>

// How long an FTP operation may wait before it is given up, so that a dead
// or silent server never hangs a generation.
namespace ftp_limits {

// Establishing the control connection (TCP and, later, TLS).
inline constexpr long kConnectTimeoutSeconds = 30;

// A command reply, or a transfer that moves no byte, for this long fails
// the operation.
inline constexpr long kStallTimeoutSeconds = 60;

// One reply on a control connection, however slowly it trickles in.
inline constexpr long kReplyTimeoutSeconds = 300;

// What every FTP handle of ours sets: FTP only, no signals (threads), the
// login, and the limits above.
inline void applyLoginOptions(CURL* curl, const std::string& account, const std::string& password) {
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERNAME, account.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kStallTimeoutSeconds);
}

}  // namespace ftp_limits
