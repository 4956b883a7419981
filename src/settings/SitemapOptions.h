#pragma once

#include <string>
#include <vector>

// What goes into the sitemap beyond the classic pages, all off by default
// (off gives exactly the classic file). Kept in SETTING.INI in a section of
// its own, so the seven classic keys stay as they are.
struct SitemapOptions {
    bool lastmod = false;        // <lastmod> from the server's modification times
    bool robots = false;         // leave out what the site's robots.txt forbids every crawler
    bool indexAsFolder = false;  // index.html/.htm/.php written as their folder's address
    bool gzip = false;           // every file written compressed (.xml.gz)
    bool verify = false;         // every address asked for on the live site; only real pages kept
    std::vector<std::string> exclude;     // glob patterns on the path below the target folder
    std::vector<std::string> extensions;  // page name endings; empty: the classic rule

    bool operator==(const SitemapOptions&) const = default;

    // A ";"-separated list as stored and typed: items trimmed, empty ones dropped.
    static std::vector<std::string> splitList(const std::string& text);
    static std::string joinList(const std::vector<std::string>& items);
};
