#include "sitemap/Location.h"

#include <string_view>

namespace location {
namespace {

void appendPercent(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
}

bool isUnreservedOrSubDelim(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos;
}

void joinWithSlash(std::string& url, const std::string& part) {
    if (url.empty() || url.back() != '/') url += '/';
    url += part;
}

}  // namespace

std::string encodeSegment(const std::string& segment) {
    std::string out;
    out.reserve(segment.size());
    for (unsigned char c : segment) {
        if (isUnreservedOrSubDelim(c))
            out += static_cast<char>(c);
        else
            appendPercent(out, c);
    }
    return out;
}

std::string encodeBaseUrl(const std::string& baseUrl) {
    std::string out;
    out.reserve(baseUrl.size());
    for (unsigned char c : baseUrl) {
        if (c <= 0x20 || c >= 0x7f || std::string_view("<>\"{}|\\^`").find(static_cast<char>(c)) != std::string_view::npos)
            appendPercent(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string pageUrl(const std::string& baseUrl, const std::vector<std::string>& folders, const std::string& name) {
    std::string url = encodeBaseUrl(baseUrl);
    for (const auto& folder : folders) joinWithSlash(url, encodeSegment(folder));
    joinWithSlash(url, encodeSegment(name));
    return url;
}

std::string folderDisplay(const std::string& baseUrl, const std::vector<std::string>& folders) {
    std::string text = baseUrl;
    for (const auto& folder : folders) joinWithSlash(text, folder);
    return text;
}

}  // namespace location
