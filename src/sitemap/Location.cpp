#include "sitemap/Location.h"

#include <string_view>
#include <utility>

#include "util/HostName.h"
#include "util/PercentEncoding.h"

namespace location {
namespace {

void joinWithSlash(std::string& url, const std::string& part) {
    if (url.empty() || url.back() != '/') url += '/';
    url += part;
}

}  // namespace

std::string encodeSegment(const std::string& segment) { return percent::encode(segment, "!$&'()*+,;=:@"); }

namespace {

// The base URL with a non-ASCII host name in its ASCII form: a
// percent-encoded host is no host at all.
std::string withAsciiHost(const std::string& baseUrl) {
    size_t scheme = baseUrl.find("://");
    if (scheme == std::string::npos) return baseUrl;
    size_t start = scheme + 3;
    size_t end = baseUrl.find_first_of("/?#", start);
    if (end == std::string::npos) end = baseUrl.size();
    size_t at = baseUrl.rfind('@', end);
    if (at != std::string::npos && at >= start) start = at + 1;
    size_t colon = baseUrl.find(':', start);
    size_t hostEnd = colon != std::string::npos && colon < end ? colon : end;
    std::string host = baseUrl.substr(start, hostEnd - start);
    bool ascii = true;
    for (char ch : host) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    if (ascii || host.empty()) return baseUrl;
    std::string converted = host_name::asciiHost(host);
    if (converted.empty()) return baseUrl;
    return baseUrl.substr(0, start) + converted + baseUrl.substr(hostEnd);
}

}  // namespace

std::string encodeBaseUrl(const std::string& typed) {
    const std::string baseUrl = withAsciiHost(typed);
    std::string out;
    out.reserve(baseUrl.size());
    for (char ch : baseUrl) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7f || std::string_view("<>\"{}|\\^`").find(static_cast<char>(c)) != std::string_view::npos)
            percent::appendEncoded(out, c);
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

std::string xmlUnescape(const std::string& text) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        if (text[i] == '&')
            for (const auto& [entity, c] : kEntities)
                if (std::string_view(text).substr(i, entity.size()) == entity) {
                    out += c;
                    i += entity.size() - 1;
                    replaced = true;
                    break;
                }
        if (!replaced) out += text[i];
    }
    return out;
}

std::string folderUrl(const std::string& site, const std::vector<std::string>& folders) {
    std::string url = site;
    for (const auto& folder : folders) joinWithSlash(url, encodeSegment(folder));
    if (url.empty() || url.back() != '/') url += '/';
    return url;
}

std::string pageUrl(const std::string& site, const std::vector<std::string>& folders, const std::string& name) {
    return folderUrl(site, folders) + encodeSegment(name);
}

std::string folderDisplay(const std::string& baseUrl, const std::vector<std::string>& folders) {
    std::string text = baseUrl;
    for (const auto& folder : folders) joinWithSlash(text, folder);
    return text;
}

}  // namespace location
