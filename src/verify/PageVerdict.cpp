#include "verify/PageVerdict.h"

#include <curl/curl.h>

#include <memory>
#include <utility>

#include "util/Ascii.h"
#include "verify/HtmlHead.h"

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string part(CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, 0) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
}

bool isHtml(const std::string& contentType) {
    const std::string type = lowerAscii(contentType.substr(0, contentType.find(';')));
    return type.find("text/html") != std::string::npos || type.find("application/xhtml+xml") != std::string::npos;
}

// The target of a Link header's rel="canonical" entry, or empty.
std::string canonicalOfLink(const std::string& header) {
    size_t at = 0;
    while ((at = header.find('<', at)) != std::string::npos) {
        const size_t close = header.find('>', at);
        if (close == std::string::npos) return {};
        const size_t next = header.find('<', close);
        const std::string params = lowerAscii(header.substr(close + 1, next == std::string::npos ? next : next - close - 1));
        if (params.find("rel=canonical") != std::string::npos || params.find("rel=\"canonical\"") != std::string::npos)
            return header.substr(at + 1, close - at - 1);
        at = close;
    }
    return {};
}

// The canonical a page names, resolved, when it is another address than
// the page's own (self, resolved); else empty.
std::string otherCanonical(const std::string& address, const std::string& self, const std::string& canonical) {
    const std::string target = resolvedAddress(address, canonical);
    return target.empty() || target == self ? std::string() : target;
}

}  // namespace

bool isWebPageExtension(const std::string& extension) {
    static constexpr const char* kPages[] = {".htm", ".html", ".xhtml", ".shtml", ".php", ".cgi", ".asp", ".aspx", ".jsp"};
    const std::string lower = lowerAscii(extension);
    for (const char* page : kPages)
        if (lower == page) return true;
    return false;
}

std::string resolvedAddress(const std::string& base, const std::string& reference) {
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK) return {};
    if (curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), 0) != CURLUE_OK) return {};
    const std::string scheme = lowerAscii(part(url.get(), CURLUPART_SCHEME));
    std::string port = part(url.get(), CURLUPART_PORT);
    if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443")) port.clear();
    std::string path = part(url.get(), CURLUPART_PATH);
    // %xx in one case: "%e6" and "%E6" are one byte.
    for (size_t i = 0; i + 2 < path.size(); ++i)
        if (path[i] == '%')
            for (size_t k = i + 1; k <= i + 2; ++k)
                if (path[k] >= 'a' && path[k] <= 'f') path[k] = static_cast<char>(path[k] - 'a' + 'A');
    const std::string query = part(url.get(), CURLUPART_QUERY);
    return scheme + "://" + lowerAscii(part(url.get(), CURLUPART_HOST)) + (port.empty() ? "" : ":" + port) +
           (path.empty() ? "/" : path) + (query.empty() ? "" : "?" + query);
}

PageVerdict PageVerdict::of(const std::string& address, const HttpAnswer& answer, bool fileNotPage) {
    const long status = answer.status;
    if (status == 0) return {PageOutcome::Unconfirmed, {}, false};
    if (status >= 300 && status < 400)
        return {PageOutcome::Redirect, answer.location.empty() ? "" : resolvedAddress(address, answer.location), false};
    if (status == 404 || status == 410) return {PageOutcome::NotFound, {}, false};
    if (status == 401 || status == 403) return {PageOutcome::NotPublic, {}, false};
    if (status >= 400 && status < 500) return {PageOutcome::NotAPage, {}, false};
    if (status >= 500) {
        if (!answer.body.empty()) return {PageOutcome::Unconfirmed, {}, false};
        return {answer.secondTry ? PageOutcome::NotAPage : PageOutcome::Unconfirmed, {}, !answer.secondTry};
    }
    if (status < 200) return {PageOutcome::Unconfirmed, {}, false};
    // 2xx: what the headers say first, then the page's own head.
    for (const auto& tag : answer.robotsTags)
        if (forbidsIndexing(tag)) return {PageOutcome::NoIndex, {}, false};
    const std::string self = resolvedAddress(address, address);
    for (const auto& link : answer.links) {
        const std::string canonical = canonicalOfLink(link);
        if (canonical.empty()) continue;
        if (std::string other = otherCanonical(address, self, canonical); !other.empty())
            return {PageOutcome::OtherCanonical, std::move(other), false};
        break;
    }
    if (!isHtml(answer.contentType)) return {fileNotPage ? PageOutcome::Kept : PageOutcome::NotAPage, {}, false};
    const HtmlHead head = HtmlHead::read(answer.body);
    if (answer.body.empty() || (!head.title && !head.htmlElement)) return {PageOutcome::NotAPage, {}, false};
    if (head.noindex) return {PageOutcome::NoIndex, {}, false};
    if (std::string other = head.canonical.empty() ? "" : otherCanonical(address, self, head.canonical); !other.empty())
        return {PageOutcome::OtherCanonical, std::move(other), false};
    return {PageOutcome::Kept, {}, false};
}
