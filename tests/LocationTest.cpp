#include <gtest/gtest.h>

#include "sitemap/Location.h"

namespace {

struct UrlCase {
    const char* base;
    std::vector<std::string> folders;
    const char* name;
    const char* expected;  // after XML escaping, as it stands in <loc>
};

TEST(Location, PageAddresses) {
    const UrlCase cases[] = {
        // The plain forms: same bytes as the classic joined-and-collapsed text.
        {"http://example.com", {}, "index.html", "http://example.com/index.html"},
        {"http://example.com", {"a", "b"}, "p.php", "http://example.com/a/b/p.php"},
        {"http://example.com/site", {"sub"}, "x.cgi", "http://example.com/site/sub/x.cgi"},
        // A base that still ends in "/" after the one-slash trim is joined once.
        {"http://example.com/", {}, "p.htm", "http://example.com/p.htm"},
        // The scheme survives.
        {"https://example.com", {"d"}, "p.html", "https://example.com/d/p.html"},
        // Segments are percent-encoded byte by byte, then XML-escaped.
        {"http://example.com", {}, "a b&c.html", "http://example.com/a%20b&amp;c.html"},
        {"http://example.com", {}, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.html",
         "http://example.com/%E6%97%A5%E6%9C%AC%E8%AA%9E.html"},
        {"http://example.com", {"50%", "q?#"}, "it's.html", "http://example.com/50%25/q%3F%23/it&apos;s.html"},
        {"http://example.com", {}, "<x>\"~!$'()*+,;=:@.php",
         "http://example.com/%3Cx%3E%22~!$&apos;()*+,;=:@.php"},
        // The base stays as typed but for what may never stand in a URL.
        {"http://example.com/my site", {}, "p.html", "http://example.com/my%20site/p.html"},
        {"http://example.com/?a=1&b=<2>", {}, "p.html", "http://example.com/?a=1&amp;b=%3C2%3E/p.html"},
        // A Japanese domain in its ASCII (IDNA) form: percent-encoded, it names no host.
        {"http://\xe4\xbe\x8b.jp", {}, "p.html", "http://xn--fsq.jp/p.html"},
        {"https://u@\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.jp:8080/\xe4\xbe\x8b", {}, "p.html",
         "https://u@xn--wgv71a119e.jp:8080/%E4%BE%8B/p.html"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(location::xmlEscape(location::pageUrl(location::encodeBaseUrl(c.base), c.folders, c.name)), c.expected) << c.name;
    }
}

TEST(Location, FolderDisplayIsReadable) {
    EXPECT_EQ(location::folderDisplay("http://example.com", {}), "http://example.com");
    EXPECT_EQ(location::folderDisplay("http://example.com", {"a b", "\xe6\x97\xa5"}),
              "http://example.com/a b/\xe6\x97\xa5");
}

TEST(Location, XmlEscapeCoversAllFive) {
    EXPECT_EQ(location::xmlEscape("&<>\"'x"), "&amp;&lt;&gt;&quot;&apos;x");
}

}  // namespace
