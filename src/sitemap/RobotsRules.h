#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What a site's robots.txt forbids every crawler ("User-agent: *"), matched
// as RFC 9309 says: the longest matching rule wins, Allow beats Disallow on
// a tie, "*" matches any run of characters and a final "$" the end of the
// path, and percent-encoding is made the same on both sides first. Groups
// for other crawlers only, and other fields (Sitemap, Crawl-delay), are
// ignored; several "*" groups count as one.
class RobotsRules {
public:
    // Reads a whole robots.txt (a UTF-8 byte order mark, CR LF, LF or CR
    // line ends and upper-case field names are all fine). Past kMaxBytes,
    // the rest is ignored, as crawlers do.
    // With an agent, the groups that name it (in any case) are used when
    // there are any, all of them together; else those for "*" (RFC 9309).
    static RobotsRules parse(std::string_view text, std::string_view agent = {});

    // path: the page's address from the site's top, starting with "/"
    // ("/blog/a%20b.html"), with its query if it has one.
    bool allows(std::string_view path) const;

    size_t ruleCount() const { return rules_.size(); }

    static constexpr size_t kMaxBytes = 500 * 1024;

private:
    struct Rule {
        std::string pattern;  // normalised
        bool allow = false;
    };
    std::vector<Rule> rules_;
};
