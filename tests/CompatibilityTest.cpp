// The same tricky site on FTP servers of every make a web host may run: every
// walk must write exactly the pages an independent reading of the local tree
// finds, and every connection count the same bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "Commands.h"
#include "RecordingObserver.h"
#include "TempTree.h"
#include "TestServer.h"
#include "util/Lines.h"
#include "job/SitemapJob.h"
#include "sitemap/Location.h"

namespace {

using Kind = TestServer::Kind;

// A server of one make, configured as some hosts configure it.
struct Server {
    Kind kind;
    const char* label;
    std::vector<std::string> quirks;
    const char* extraPage = nullptr;  // below site/
};
void PrintTo(const Server& server, std::ostream* out) { *out << server.label; }

void makeTrickySite(const TempTree& tree) {
    for (const char* name : {"index.html", "a b/space page.html", "[draft]/d.php", "& # % + '/odd name's.cgi",
                             "\xe6\x97\xa5\xe6\x9c\xac/\xe3\x83\x9a\xe3\x83\xbc\xe3\x82\xb8.html",
                             "b/sibling.htm", "b/img.png", "v1.0/never.html", "README"})
        tree.file(std::string("site/") + name);
    std::string deep = "site/deep";
    for (int i = 0; i < 70; ++i) deep += "/d" + std::to_string(i);
    tree.file(deep + "/bottom.html");
    for (int i = 0; i < 2000; ++i) tree.file("site/many/p" + std::to_string(i) + ".html");
    tree.link("site/a b/to-sibling", "../b");
    tree.link("site/a b/up", "..");
}

// Twisted's server decodes commands as Latin-1: it lists folders with
// Japanese names but cannot enter them. Those folders are counted as missed.
bool entersNonAsciiFolders(Kind kind) { return kind != Kind::Twisted; }

std::set<std::string> expectedUrls(const TempTree& tree) {
    std::string command = "/usr/bin/python3 " + std::string(QUILLOMAR_TEST_SUPPORT_DIR) +
                          "/../compat/expected_urls.py '" + (tree.path() / "site").string() + "' http://example.com";
    std::set<std::string> urls;
    for (const auto& url : splitLines(runCommand(command).output)) urls.insert(url);
    return urls;
}

std::set<std::string> urlsIn(const std::string& file) {
    std::set<std::string> urls;
    for (size_t at = file.find("<loc>"); at != std::string::npos; at = file.find("<loc>", at + 1)) {
        size_t end = file.find("</loc>", at);
        urls.insert(location::xmlUnescape(file.substr(at + 5, end - at - 5)));
    }
    return urls;
}

class CompatibilityTest : public ::testing::TestWithParam<Server> {};

TEST_P(CompatibilityTest, EveryPageOnceAndTheSameBytesForEveryConnectionCount) {
    TempTree site, work;
    makeTrickySite(site);
    if (GetParam().extraPage) site.file(std::string("site/") + GetParam().extraPage);
    auto expected = expectedUrls(site);
    ASSERT_GT(expected.size(), 2000u);
    int missedFolders = 0;
    if (!entersNonAsciiFolders(GetParam().kind)) {
        missedFolders = static_cast<int>(std::erase_if(expected, [](const std::string& url) {
            return url.find("/%E6%97%A5%E6%9C%AC/") != std::string::npos;
        }));
    }
    TestServer::Options options;
    options.kind = GetParam().kind;
    options.quirks = GetParam().quirks;
    TestServer server(site.str(), options);
    std::string first;
    for (int connections : {0, 1, 4}) {
        RecordingObserver observer;
        // Relative: the login folder is the tree's top (a chroot) or the
        // account's home, depending on the server.
        JobSettings settings{server.host(), server.user(), server.password(), "site/", "http://example.com/", "0",
                             "0"};
        settings.connections = connections;
        SitemapJob job(settings, observer, work.str());
        ASSERT_EQ(job.run(), SitemapJob::Outcome::Completed)
            << connections << ::testing::PrintToString(observer.of("message")) << job.failure().reason;
        EXPECT_EQ(job.walkStats().missedFolders(), missedFolders) << connections;
        std::string file = readFile(work.path() / "sitemap.xml");
        auto urls = urlsIn(file);
        std::vector<std::string> missing, extra;
        std::set_difference(expected.begin(), expected.end(), urls.begin(), urls.end(), std::back_inserter(missing));
        std::set_difference(urls.begin(), urls.end(), expected.begin(), expected.end(), std::back_inserter(extra));
        EXPECT_TRUE(missing.empty()) << connections << " connections miss " << ::testing::PrintToString(missing);
        EXPECT_TRUE(extra.empty()) << connections << " connections add " << ::testing::PrintToString(extra);
        if (connections == 0) first = file;
        EXPECT_EQ(file, first) << connections << " connections write other bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CompatibilityTest,
                         ::testing::Values(Server{Kind::Pyftpdlib, "pyftpdlib", {}}, Server{Kind::Vsftpd, "vsftpd", {}},
                                           Server{Kind::Proftpd, "proftpd", {}}, Server{Kind::Pureftpd, "pureftpd", {}},
                                           Server{Kind::Inetutils, "inetutils", {}},
                                           Server{Kind::Twisted, "twisted", {}},
                                           // LIST refused, MLSD offered.
                                           Server{Kind::Pyftpdlib, "pyftpdlib_mlsd_only", {"mlsd-only"}},
                                           // UTF-8 on disk, CP932 unless the client asks for UTF-8.
                                           Server{Kind::Proftpd, "proftpd_cp932", {"cp932"}},
                                           // A name byte 0xFF, which goes doubled on the wire.
                                           Server{Kind::Vsftpd, "vsftpd_byte_ff", {}, "\xff/ff.html"}),
                         [](const auto& test) { return std::string(test.param.label); });

// A server that allows one login per address: the walk's logins must be
// gone before the upload logs in, every time.
class OneLoginTest : public ::testing::TestWithParam<Kind> {};

TEST_P(OneLoginTest, UploadAfterTheFastWalkEveryTime) {
    TempTree site, work;
    site.file("site/index.html");
    site.file("site/a/b/p.html");
    std::filesystem::permissions(site.path() / "site", std::filesystem::perms::all);  // the server's user writes here
    TestServer::Options options;
    options.kind = GetParam();
    options.maxLogins = 1;
    TestServer server(site.str(), options);
    for (int round = 0; round < 20; ++round) {
        std::filesystem::remove(site.path() / "site/sitemap.xml");
        RecordingObserver observer;
        JobSettings settings{server.host(), server.user(), server.password(), "site", "http://example.com", "0", "1"};
        SitemapJob job(settings, observer, work.str());
        ASSERT_EQ(job.run(), SitemapJob::Outcome::Completed)
            << "round " << round << ": " << ::testing::PrintToString(observer.of("message")) << job.failure().reason;
        EXPECT_NE(readFile(site.path() / "site/sitemap.xml").find("<loc>http://example.com/a/b/p.html</loc>"),
                  std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, OneLoginTest, ::testing::Values(Kind::Pyftpdlib, Kind::Pureftpd),
                         [](const auto& test) { return std::string(TestServer::name(test.param)); });

}  // namespace
