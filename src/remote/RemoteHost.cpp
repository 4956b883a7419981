#include "remote/RemoteHost.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "util/Ascii.h"

namespace {

std::optional<int> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) return std::nullopt;
    int port = std::stoi(text);
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

// Characters that may not stand in a host name or address: they would
// change the meaning of the URL handed to the FTP client.
bool hasForbiddenChar(const std::string& host) {
    return std::any_of(host.begin(), host.end(), [](unsigned char c) {
        return c <= ' ' || c == 0x7f || c == '/' || c == '\\' || c == '@' || c == '?' || c == '#' || c == '[' ||
               c == ']' || c == '%';
    });
}

}  // namespace

std::optional<RemoteHost> RemoteHost::parse(const std::string& typed) {
    std::string text = typed;
    RemoteHost result;
    constexpr std::pair<std::string_view, Security> kSchemes[] = {
        {"ftp://", Security::Plain}, {"ftpes://", Security::ExplicitTls}, {"ftps://", Security::ImplicitTls},
        {"sftp://", Security::Sftp}};
    for (const auto& [scheme, security] : kSchemes) {
        if (text.size() >= scheme.size() && equalsIgnoreCaseAscii(std::string_view(text).substr(0, scheme.size()), scheme)) {
            text = text.substr(scheme.size());
            result.security = security;
            if (security == Security::ImplicitTls) result.port = 990;
            if (security == Security::Sftp) result.port = 22;
            break;
        }
    }
    if (!text.empty() && text.back() == '/') text.pop_back();

    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) return std::nullopt;
        result.host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            auto port = parsePort(rest.substr(1));
            if (!port) return std::nullopt;
            result.port = *port;
        }
    } else if (std::count(text.begin(), text.end(), ':') > 1) {
        result.host = text;  // a bare IPv6 address
    } else {
        size_t colon = text.find(':');
        result.host = text.substr(0, colon);
        if (colon != std::string::npos) {
            auto port = parsePort(text.substr(colon + 1));
            if (!port) return std::nullopt;
            result.port = *port;
        }
    }
    if (result.host.empty()) return std::nullopt;
    std::string check = result.host;
    if (result.host.find(':') != std::string::npos) check.erase(std::remove(check.begin(), check.end(), ':'), check.end());
    if (hasForbiddenChar(check)) return std::nullopt;
    return result;
}

std::string RemoteHost::urlPrefix() const {
    bool v6 = host.find(':') != std::string::npos;
    const char* scheme = security == Security::ImplicitTls ? "ftps://" : security == Security::Sftp ? "sftp://" : "ftp://";
    return scheme + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
