#pragma once

#include <string>
#include <vector>

// What one address's answer from the live site makes of it.
enum class PageOutcome {
    Kept,            // 2xx, indexable, its own canonical
    NotFound,        // 404, 410
    Redirect,        // 3xx (detail: where to)
    NoIndex,         // X-Robots-Tag or meta robots: noindex or none
    OtherCanonical,  // names another address as canonical (detail: which)
    NotAPage,        // empty, a fragment, not HTML, another 4xx, an empty 5xx twice
    NotPublic,       // 401, 403
    Unconfirmed,     // kept: a 5xx with a body, no answer (a failure that may pass)
    Disallowed,      // the site's robots.txt forbids it: never asked
    WordPressCode,   // WordPress's own program files: never asked (detail: which part)
};

// What the user is told of an outcome.
inline const char* outcomeLabel(PageOutcome outcome) {
    switch (outcome) {
        case PageOutcome::Kept: return "載せる";
        case PageOutcome::NotFound: return "見つからない";
        case PageOutcome::Redirect: return "転送";
        case PageOutcome::NoIndex: return "noindex";
        case PageOutcome::OtherCanonical: return "別の canonical";
        case PageOutcome::NotAPage: return "ページでない";
        case PageOutcome::NotPublic: return "非公開";
        case PageOutcome::Unconfirmed: return "未確認";
        case PageOutcome::Disallowed: return "robots.txt で禁止";
        case PageOutcome::WordPressCode: return "WordPress 本体";
    }
    return "";
}

// One answer as the checker read it.
struct HttpAnswer {
    long status = 0;                       // 0: no answer (time-out, broken connection, TLS)
    std::string contentType;               // the header's value, as sent
    std::string location;                  // of a 3xx
    std::vector<std::string> robotsTags;   // every X-Robots-Tag header's value
    std::vector<std::string> links;        // every Link header's value
    std::string body;                      // as far as it was read
    bool secondTry = false;                // this is an empty 5xx asked again
};

struct PageVerdict {
    PageOutcome outcome = PageOutcome::Unconfirmed;
    std::string detail;     // the redirect target or the canonical, resolved
    bool askAgain = false;  // an empty 5xx: asked a second time after the others

    // address: as the sitemap holds it. fileNotPage: the address ends in
    // an extension the user added that is no web page's (".pdf"): kept
    // whatever its type.
    static PageVerdict of(const std::string& address, const HttpAnswer& answer, bool fileNotPage);
};

// Whether a name ending is a web page's (".html", ".php"...), which the
// live site should answer with HTML; other endings a user adds (".pdf")
// are files kept whatever their type.
bool isWebPageExtension(const std::string& extension);

// The address a reference names, resolved against base as a browser would;
// empty when it names none. Host and scheme in lower case, the default port
// and the fragment dropped: two spellings of one address compare equal.
std::string resolvedAddress(const std::string& base, const std::string& reference);
