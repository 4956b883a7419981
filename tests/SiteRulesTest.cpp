// Which names become entries with the sitemap options, and how lastmod reads.
#include <gtest/gtest.h>

#include "remote/ftp/ListingParser.h"
#include "sitemap/SiteRules.h"

namespace {

NameList pages(std::initializer_list<const char*> names) {
    NameList list;
    for (const char* name : names) list.push_back({name, EntryKind::File, {}, {}, {}});
    return list;
}

std::string locations(const std::string& block) {
    std::string out;
    for (size_t at = block.find("<loc>"); at != std::string::npos; at = block.find("<loc>", at + 1))
        out += block.substr(at + 5, block.find("</loc>", at) - at - 5) + " ";
    return out;
}

TEST(SiteRules, PatternsOnPathsAndNames) {
    struct {
        const char* pattern;
        const char* path;
        bool matches;
    } cases[] = {
        {"/cgi-bin/*", "/cgi-bin/form.cgi", true},
        {"/cgi-bin/*", "/cgi-bin/", true},
        {"/cgi-bin", "/cgi-bin/", true},  // a folder without its final "/"
        {"/cgi-bin/*", "/blog/cgi-bin/x.html", false},
        {"*/draft/*", "/draft/x.html", true},
        {"*/draft/*", "/blog/2024/draft/x.html", true},
        {"*/draft/*", "/drafts/x.html", false},
        {"*.bak", "/a/b/page.html.bak", true},  // no "/": the name, at any depth
        {"*.bak", "/a.bak/page.html", false},
        {"blog/*", "/blog/a.html", true},  // anchored at the top like "/blog/*"
        {"blog/*", "/x/blog/a.html", false},
        {"/a?c.html", "/abc.html", true},
        {"/a?c.html", "/ac.html", false},
        {"*", "/anything", true},
        {"/*/*/*.html", "/a/b.html", false},
    };
    for (const auto& c : cases) {
        std::string path = c.path;
        std::string name = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
        name = name.substr(name.rfind('/') + 1);
        EXPECT_EQ(SiteRules::patternMatches(c.pattern, path, name), c.matches) << c.pattern << " on " << c.path;
    }
}

TEST(SiteRules, EntriesWithEveryOption) {
    SitemapOptions options;
    options.extensions = {".HTML", "pdf", ".htm"};
    options.exclude = {"*.old.html", "/private/*"};
    options.indexAsFolder = true;
    options.robots = true;
    SiteRules rules("https://example.jp/site", false, options);
    rules.setRobots(RobotsRules::parse("User-agent: *\nDisallow: /site/blog/secret\nDisallow: /site/docs/$\n"));

    WalkStats stats;
    std::string block;
    rules.appendEntries({"blog"},
                        pages({"index.html", "a.HTML", "index.htm", "b.php", "c.pdf", "x.old.html", "secret.html",
                               "notes.htmlx", ".html"}),
                        block, stats);
    EXPECT_EQ(locations(block), "https://example.jp/site/blog/ https://example.jp/site/blog/a.HTML "
                                "https://example.jp/site/blog/c.pdf ")
        << "one folder address for both index pages; endings matched at the end, in any case";
    EXPECT_EQ(stats.pages, 3);
    EXPECT_EQ(stats.excludedByPattern, 1);
    EXPECT_EQ(stats.excludedByRobots, 1);

    block.clear();
    rules.appendEntries({"docs"}, pages({"index.html", "guide.html"}), block, stats);
    EXPECT_EQ(locations(block), "https://example.jp/site/docs/guide.html ")
        << "robots.txt judges the address written: the folder's own";
    EXPECT_FALSE(rules.entersFolder({"private"}, stats));
    EXPECT_TRUE(rules.entersFolder({"blog", "private"}, stats));
    EXPECT_EQ(stats.excludedByPattern, 2);

    // Without robots.txt nothing is left out for it; the classic rule without endings.
    SiteRules plain("https://example.jp", false, {});
    block.clear();
    plain.appendEntries({}, pages({"index.html", "a.php", "b.cgi", "c.pdf", "d.html.bak"}), block, stats);
    EXPECT_EQ(locations(block), "https://example.jp/index.html https://example.jp/a.php https://example.jp/b.cgi "
                                "https://example.jp/d.html.bak ");
}

TEST(SiteRules, LastmodFromListingTimes) {
    const CivilDate today{2026, 12, 8};
    auto fromList = [&](const std::string& line) {
        NameList names;
        listing::parseList(line + "\r\n", names);
        return names.empty() ? std::string("(not parsed)") : SiteRules::lastmodText(names[0].modified, today);
    };
    auto fromMlsd = [&](const std::string& line) {
        NameList names;
        listing::parseMlsd(line + "\r\n", names);
        return names.empty() ? std::string("(not parsed)") : SiteRules::lastmodText(names[0].modified, today);
    };
    EXPECT_EQ(fromMlsd("type=file;size=1;modify=20261207235959.123; a.html"), "2026-12-07T23:59:59Z");
    EXPECT_EQ(fromMlsd("type=file;size=1; a.html"), "") << "no time, no lastmod";
    EXPECT_EQ(fromMlsd("type=file;modify=20261399000000; a.html"), "") << "month 13";
    struct {
        const char* line;
        const char* lastmod;
    } cases[] = {
        {"-rw-r--r-- 1 u g 10 Dec  8 09:30 a.html", "2026-12-08"},
        {"-rw-r--r-- 1 u g 10 Dec  9 09:30 a.html", "2026-12-09"},  // a server ahead of UTC
        {"-rw-r--r-- 1 u g 10 Dec 10 09:30 a.html", "2025-12-10"},  // else last year's
        {"-rw-r--r-- 1 u g 10 Jan  2 09:30 a.html", "2026-01-02"},
        {"-rw-r--r-- 1 u g 10 Mar  1  2019 a.html", "2019-03-01"},
        {"-rw-r--r-- 1 u g 10 Feb 29 09:30 a.html", "2024-02-29"},  // the last 29 February
        {"-rw-r--r-- 1 u g 10 Feb 30 09:30 a.html", ""},
        {"-rw-r--r-- 1 u g 10 12月  8 17:35 a.html", "2026-12-08"},
        {"-rw-r--r-- 1 u g 10 2023年12月  8日 a.html", "2023-12-08"},
        {"-rw-r--r-- 1 u g 10 2023-11-30 17:35 a.html", "2023-11-30"},
        {"-rw-r--r-- 1 u g 10 11-30 17:35 a.html", "2026-11-30"},
        {"12-01-24  10:11PM       1024 a.html", "2024-12-01"},
        {"07-04-99  10:11AM       1024 a.html", "1999-07-04"},
    };
    for (const auto& c : cases) EXPECT_EQ(fromList(c.line), c.lastmod) << c.line;
}

}  // namespace
