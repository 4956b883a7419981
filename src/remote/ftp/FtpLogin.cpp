#include "remote/ftp/FtpLogin.h"

#include <curl/curl.h>

#include <string_view>

#include "remote/ftp/ListingParser.h"

#include "util/Lines.h"

namespace {


// Commands go out as header data, replies come in as header data: each
// chunk is one or more whole lines.
int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
    const auto* options = static_cast<const LoginOptions*>(user);
    for (const auto& line : splitLines(std::string_view(data, size))) {
        if (!line.empty())
            options->trace((type == CURLINFO_HEADER_OUT ? "> " : "< ") +
                           (type == CURLINFO_HEADER_OUT ? ftp_login::masked(line) : line));
    }
    return 0;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* options = static_cast<const LoginOptions*>(user);
    return (options->cancel && options->cancel->load()) || options->stopped() ? 1 : 0;
}

}  // namespace

namespace ftp_login {

FailureKind loginFailure(int curlCode, long replyCode, bool certificateForOtherNames) {
    if (curlCode == CURLE_OK) return FailureKind::None;
    // libcurl reports a 421 greeting (too many logins just now) as a time
    // out; it is a busy server, worth asking again.
    if (replyCode == 421) return FailureKind::LoginFailed;
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_LOGIN_DENIED:
            return FailureKind::LoginRefused;
        case CURLE_COULDNT_RESOLVE_HOST:
            return FailureKind::HostNotFound;
        case CURLE_COULDNT_CONNECT:
            return FailureKind::ConnectionRefused;
        case CURLE_OPERATION_TIMEDOUT:
            return FailureKind::NoAnswer;
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_CONNECT_ERROR:
            return FailureKind::TlsRefused;
        case CURLE_PEER_FAILED_VERIFICATION:
            return certificateForOtherNames ? FailureKind::CertificateOtherName : FailureKind::CertificateUntrusted;
        default:
            return FailureKind::LoginFailed;
    }
}

std::string masked(const std::string& command) {
    if (command.size() >= 5 && (command.compare(0, 5, "PASS ") == 0 || command.compare(0, 5, "pass ") == 0))
        return "PASS ****";
    return command;
}

bool applyLogin(CURL* curl, const RemoteHost& host, const std::string& account, const std::string& password,
                const LoginOptions& options) {
    if (!listing::fitsInCommand(account) || !listing::fitsInCommand(password)) return false;
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, host.security == RemoteHost::Security::ImplicitTls ? "ftps" : "ftp");
    if (host.tls()) {
        // TLS on the control and every data connection, or no login at all.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);  // the names, should they not match
        // The first group gets a key share: P-256, which every TLS 1.3
        // server takes, where a server configured for it alone (vsftpd)
        // would ask again for X25519's, one round trip more per connection.
        curl_easy_setopt(curl, CURLOPT_SSL_EC_CURVES, "P-256:X25519:P-384:P-521");
#ifdef _WIN32
        // OpenSSL knows no roots of its own here: Windows' store has them.
        curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
        if (!options.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERNAME, account.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, options.stallTimeoutSeconds);
    if (options.trace) {
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &onDebug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &options);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    }
    if (options.cancel || options.stop) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &options);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    return true;
}

CertificateProblem certificateProblem(CURL* curl, int curlCode, const std::string& curlText, const RemoteHost& host) {
    CertificateProblem problem;
    if (curlCode != CURLE_PEER_FAILED_VERIFICATION) return problem;
    problem.refused = true;
    // Expired, signed by an unknown authority, ...: the client's own words.
    if (curlText.find("target host name") == std::string::npos) {
        problem.text = "the server's certificate was refused: " + curlText;
        return problem;
    }
    curl_certinfo* chain = nullptr;
    std::string names, subject;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &chain) == CURLE_OK && chain && chain->num_of_certs > 0) {
        for (curl_slist* field = chain->certinfo[0]; field; field = field->next) {
            std::string_view text = field->data;
            auto valueOf = [&](std::string_view key) {
                return text.substr(0, key.size()) == key ? std::string(text.substr(key.size())) : std::string();
            };
            if (auto alt = valueOf("X509v3 Subject Alternative Name:"); !alt.empty()) names = alt;
            if (auto s = valueOf("Subject:"); !s.empty()) subject = s;
        }
    }
    if (names.empty()) names = subject;
    // "DNS:ftp.example.ne.jp, DNS:*.example.ne.jp" -> "ftp.example.ne.jp, *.example.ne.jp"
    for (size_t at = 0; at < names.size();) {
        size_t end = names.find(',', at);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(at, end - at);
        name.erase(0, name.find_first_not_of(' '));
        for (const char* prefix : {"DNS:", "IP Address:", "CN = ", "CN="})
            if (name.rfind(prefix, 0) == 0) name.erase(0, std::char_traits<char>::length(prefix));
        if (!name.empty()) problem.names += (problem.names.empty() ? "" : ", ") + name;
        at = end + 1;
    }
    problem.text = "the server's certificate is for " + (problem.names.empty() ? "other names" : problem.names) +
                   ", not " + host.host;
    return problem;
}

}  // namespace ftp_login
