// robots.txt for every crawler, matched as RFC 9309 says: cases from its
// examples and from the files sites really have.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "sitemap/RobotsRules.h"

namespace {

struct RobotsCase {
    const char* what;
    const char* robots;
    std::vector<std::pair<const char*, bool>> paths;  // path, allowed
};

const RobotsCase kCases[] = {
    {"prefix", "User-agent: *\nDisallow: /private/\n",
     {{"/private/a.html", false}, {"/private/", false}, {"/private", true}, {"/public/a.html", true}}},
    {"longest match wins", "User-agent: *\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n",
     {{"/example/page/x.html", true}, {"/example/page/disallowed.gif", false}}},
    {"longest match wins, whatever the order", "User-agent: *\nDisallow: /shop/\nAllow: /shop/open/\n",
     {{"/shop/open/a.html", true}, {"/shop/closed.html", false}}},
    {"a tie goes to allow", "User-agent: *\nDisallow: /a\nAllow: /a\n", {{"/a.html", true}}},
    {"wildcard and end", "User-agent: *\nDisallow: /*.php$\nDisallow: /this/*/exactly\n",
     {{"/x/y.php", false}, {"/x/y.php?q=1", true}, {"/this/is/exactly", false}, {"/this/exactly", true},
      {"/this/is/exactly/more.html", false}}},
    {"a $ inside is itself", "User-agent: *\nDisallow: /a$b\n", {{"/a$b.html", false}, {"/ab.html", true}}},
    {"end anchor lets the top through", "User-agent: *\nDisallow: /\nAllow: /$\n", {{"/", true}, {"/a.html", false}}},
    {"other crawlers' groups are not ours", "User-agent: googlebot\nDisallow: /\n\nUser-agent: *\nDisallow: /tmp/\n",
     {{"/x.html", true}, {"/tmp/x.html", false}}},
    {"a group for several crawlers", "User-agent: a\nUser-agent: *\nDisallow: /b/\n\nUser-agent: c\nDisallow: /\n",
     {{"/b/x.html", false}, {"/d.html", true}}},
    {"every * group counts",
     "User-agent: *\nDisallow: /a/\n\nUser-agent: x\nDisallow: /\n\nUser-agent: *\nDisallow: /c/\n",
     {{"/a/x.html", false}, {"/c/x.html", false}, {"/b/x.html", true}}},
    {"BOM, CR LF, comments, upper case, other fields",
     "\xEF\xBB\xBFUSER-AGENT: * # everyone\r\nCrawl-delay: 10\r\nDISALLOW: /x/ # not this\r\n"
     "Sitemap: https://example.jp/sitemap.xml\r\n",
     {{"/x/a.html", false}, {"/y/a.html", true}}},
    {"CR alone ends lines", "User-agent: *\rDisallow: /q/\r", {{"/q/1.html", false}, {"/r.html", true}}},
    {"an empty disallow forbids nothing", "User-agent: *\nDisallow:\n", {{"/anything.html", true}}},
    {"rules before any group are ignored", "Disallow: /\nUser-agent: *\nDisallow: /z/\n",
     {{"/x.html", true}, {"/z/x.html", false}}},
    {"percent-encoding on either side", "User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84\nDisallow: /%62%61%7A/\n",
     {{"/foo/bar/%E3%83%84", false}, {"/foo/bar/%e3%83%84", false}, {"/baz/a.html", false}, {"/ba%7a/a.html", false},
      {"/foo/bar/x", true}}},
    {"robots.txt itself", "User-agent: *\nDisallow: /\n", {{"/robots.txt", true}, {"/index.html", false}}},
};

TEST(RobotsRulesTest, MatchesAsTheRfcSays) {
    for (const auto& c : kCases) {
        const RobotsRules rules = RobotsRules::parse(c.robots);
        for (const auto& [path, allowed] : c.paths) EXPECT_EQ(rules.allows(path), allowed) << c.what << ": " << path;
    }
}

TEST(RobotsRulesTest, ReadsNoFurtherThanTheLimit) {
    std::string text = "User-agent: *\n";
    while (text.size() < RobotsRules::kMaxBytes) text += "# filler line to pass the limit\n";
    text += "Disallow: /late/\n";
    EXPECT_TRUE(RobotsRules::parse(text).allows("/late/a.html"));
    EXPECT_EQ(RobotsRules::parse(text).ruleCount(), 0u);
}

}  // namespace
