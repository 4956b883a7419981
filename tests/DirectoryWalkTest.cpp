#include <gtest/gtest.h>

#include <cstdlib>

#include "Commands.h"
#include "TempTree.h"
#include "TestServer.h"
#include "remote/ftp/FtpSession.h"
#include "walk/DirectoryWalk.h"
#include "sitemap/SiteRules.h"
#include "sitemap/SitemapFile.h"
#include "sitemap/SitemapWriter.h"

#ifdef _WIN32
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << why
#else
#define SKIP_ON_WINDOWS(why) (void)0
#endif

namespace {

struct WalkRun {
    WalkResult result = WalkResult::Ok;
    std::string file;  // as on disk, CR LF
    std::vector<std::string> progress;
};

// Logs in, stands in target (when given), lists it, and writes a whole
// sitemap the way a generation does.
WalkRun generate(const TestServer& server, const std::string& target, const SiteRules& rules,
                 std::function<void(const std::string&)> onProgress = {}, bool mobile = false) {
    TempTree out;
    const std::string file = (out.path() / "sitemap.xml").string();
    SitemapWriter writer(file, rules.baseUrl(), mobile, false);
    std::string error;
    EXPECT_TRUE(writer.begin(error)) << error;
    WalkOptions options;
    options.rules = &rules;
    options.out = &writer;
    WalkRun run;
    FtpSession session;
    EXPECT_EQ(session.connect(server.host(), server.user(), server.password()), 1);
    if (!target.empty()) {
        EXPECT_EQ(session.changeDirectory(target), 1);
    }
    NameList names;
    if (session.listNames(names) > 0) {
        DirectoryWalk walk(session, options, [&](const std::string& folder) {
            run.progress.push_back(folder);
            if (onProgress) onProgress(folder);
        });
        run.result = walk.run(names);
    }
    if (run.result == WalkResult::Ok) {
        EXPECT_TRUE(writer.finish("", error)) << error;
    }
    run.file = readFile(file);
    return run;
}

std::string plainDocument(const std::vector<std::string>& locations) {
    std::string text = SitemapFile::header(false);
    for (const auto& loc : locations) text += "\t<url>\n\t\t<loc>" + loc + "</loc>\n\t</url>\n";
    return crlf(text + "</urlset>\n");
}

bool validAgainstSchema(const std::string& document) {
    TempTree dir;
    dir.file("sitemap.xml", document);
    return xmlValid((dir.path() / "sitemap.xml").string(), "sitemap-all.xsd");
}

SiteRules base(const std::string& url, bool mobile = false) { return SiteRules(url, mobile, {}); }

// Page and folder rules and the post-order, on both listing kinds.
class WalkRulesTest : public ::testing::TestWithParam<bool> {};

TEST_P(WalkRulesTest, PagesFoldersAndPostOrder) {
    TempTree tree;
    for (auto name : {"index.html", "page.htm", "INDEX.HTML", "a.php3", "form.cgi.bak", "old.html~", "style.css",
                      "README", "v1.0/inside.html", "b/p.htm", "b/c/q.php", "b/c/d/deep.cgi", "a/x.html",
                      "a/notes.txt"})
        tree.file(name);
    tree.folder("empty");
    TestServer::Options options;
    options.noMlsd = GetParam();
    TestServer server(tree.str(), options);

    auto run = generate(server, "", base("http://example.com"));
    ASSERT_EQ(run.result, WalkResult::Ok);
    // Sorted listing: a, a.php3, b, empty, form.cgi.bak, index.html, ...
    EXPECT_EQ(run.file, plainDocument({
                            "http://example.com/a/x.html",
                            "http://example.com/b/c/d/deep.cgi",
                            "http://example.com/b/c/q.php",
                            "http://example.com/b/p.htm",
                            "http://example.com/a.php3",
                            "http://example.com/form.cgi.bak",
                            "http://example.com/index.html",
                            "http://example.com/old.html~",
                            "http://example.com/page.htm",
                        }));
    EXPECT_TRUE(validAgainstSchema(run.file));
    EXPECT_EQ(run.progress,
              (std::vector<std::string>{"http://example.com", "http://example.com/a", "http://example.com/b",
                                        "http://example.com/b/c", "http://example.com/b/c/d"}));
}

INSTANTIATE_TEST_SUITE_P(Servers, WalkRulesTest, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "WithoutMlst" : "WithMlst"; });

TEST(DirectoryWalk, KeepsTheServersListingOrder) {
    TempTree tree;
    for (auto name : {"a.html", "b.html", "sub/c.html", "sub/d.html"}) tree.file(name);
    TestServer::Options options;
    options.order = "reverse";
    TestServer server(tree.str(), options);
    auto run = generate(server, "", base("http://example.com"));
    EXPECT_EQ(run.file, plainDocument({"http://example.com/sub/d.html", "http://example.com/sub/c.html",
                                       "http://example.com/b.html", "http://example.com/a.html"}));
}

TEST(DirectoryWalk, AddressForms) {
    TempTree tree;
    tree.file("www/top.html");
    tree.file("www/sub/www/x/p.html");
    tree.file("www/a b&c.html");
    tree.file("www/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.html");
    TestServer server(tree.str());

    struct {
        const char* baseUrl;
        const char* target;
        std::vector<std::string> expected;
    } cases[] = {
        {"http://example.com", "/www",
         {"http://example.com/sub/www/x/p.html", "http://example.com/a%20b&amp;c.html",
          "http://example.com/top.html", "http://example.com/%E6%97%A5%E6%9C%AC%E8%AA%9E.html"}},
        {"https://example.com/site", "www",
         {"https://example.com/site/sub/www/x/p.html", "https://example.com/site/a%20b&amp;c.html",
          "https://example.com/site/top.html", "https://example.com/site/%E6%97%A5%E6%9C%AC%E8%AA%9E.html"}},
        {"http://example.com/", "/www/sub",
         {"http://example.com/www/x/p.html"}},
    };
    for (const auto& c : cases) {
        auto run = generate(server, c.target, base(c.baseUrl));
        EXPECT_EQ(run.file, plainDocument(c.expected)) << c.baseUrl << " " << c.target;
        EXPECT_TRUE(validAgainstSchema(run.file)) << c.baseUrl;
    }
}

TEST(DirectoryWalk, RelativeTargetLeavesNoServerPathBehind) {
    TempTree tree;
    tree.file("home/u/public_html/index.html");
    tree.file("home/u/public_html/blog/post.php");
    TestServer::Options options;
    options.home = "/home/u";
    TestServer server(tree.str(), options);
    auto run = generate(server, "public_html", base("http://example.com"));
    EXPECT_EQ(run.file, plainDocument({"http://example.com/blog/post.php", "http://example.com/index.html"}));
}

TEST(DirectoryWalk, MobileMarksEveryEntry) {
    TempTree tree;
    tree.file("m.html");
    tree.file("sub/n.php");
    TestServer server(tree.str());
    auto run = generate(server, "", base("http://example.com", true), {}, true);
    EXPECT_EQ(run.file, crlf(SitemapFile::header(true) +
                             "\t<url>\n\t\t<loc>http://example.com/sub/n.php</loc>\n\t\t<mobile:mobile/>\n\t</url>\n"
                             "\t<url>\n\t\t<loc>http://example.com/m.html</loc>\n\t\t<mobile:mobile/>\n\t</url>\n"
                             "</urlset>\n"));
    EXPECT_TRUE(validAgainstSchema(run.file));
}

TEST(DirectoryWalk, NoPagesGivesTheThreeLineDocument) {
    TempTree tree;
    tree.file("style.css");
    tree.folder("empty");
    TestServer server(tree.str());
    auto run = generate(server, "", base("http://example.com"));
    EXPECT_EQ(run.file, plainDocument({}));
}

TEST(DirectoryWalk, LinkedFolderIsWalkedAndTheWalkGoesOnInItsParent) {
    SKIP_ON_WINDOWS("links and vsftpd are tested on Linux");
    TempTree tree;
    tree.file("real/deep/r.html");
    tree.link("alias", "real/deep");
    tree.file("zeta/z.html");
    TestServer server(tree.str());
    auto run = generate(server, "", base("http://example.com"));
    EXPECT_EQ(run.file, plainDocument({"http://example.com/alias/r.html", "http://example.com/real/deep/r.html",
                                       "http://example.com/zeta/z.html"}));
}

// vsftpd resolves links: "../" from a linked folder lands in the target's
// parent, and its reported path is the physical one.
TEST(DirectoryWalk, LinkedFolderOnAServerThatResolvesLinks) {
    SKIP_ON_WINDOWS("links and vsftpd are tested on Linux");
    TempTree tree;
    tree.file("real/deep/r.html");
    tree.link("alias", "real/deep");
    tree.file("zeta/z.html");
    TestServer::Options options;
    options.kind = TestServer::Kind::Vsftpd;
    TestServer server(tree.str(), options);
    auto run = generate(server, "", base("http://example.com"));
    ASSERT_EQ(run.result, WalkResult::Ok);
    // vsftpd lists in its own order; every page is there once per path.
    for (auto loc : {"http://example.com/alias/r.html", "http://example.com/real/deep/r.html",
                     "http://example.com/zeta/z.html"})
        EXPECT_NE(run.file.find(std::string("<loc>") + loc + "</loc>"), std::string::npos) << loc;
    EXPECT_EQ(run.file.find("http://example.com/deep/"), std::string::npos);
}

TEST(DirectoryWalk, LinkCycleIsNotFollowedOnAServerThatReportsPhysicalPaths) {
    SKIP_ON_WINDOWS("links and vsftpd are tested on Linux");
    TempTree tree;
    tree.file("a/x.html");
    tree.link("a/loop", "..");
    TestServer::Options options;
    options.kind = TestServer::Kind::Vsftpd;
    TestServer server(tree.str(), options);
    auto run = generate(server, "", base("http://e"));
    ASSERT_EQ(run.result, WalkResult::Ok);
    EXPECT_EQ(run.file, plainDocument({"http://e/a/x.html"}));
}

TEST(DirectoryWalk, LinkCycleIsNotFollowedWhereTheServerNamesFolders) {
    SKIP_ON_WINDOWS("links and vsftpd are tested on Linux");
    TempTree plain, looped;
    for (const auto* tree : {&plain, &looped}) {
        tree->file("a/x.html");
        tree->file("top.html");
    }
    looped.link("a/loop", "..");
    looped.link("a/self", ".");
    TestServer plainServer(plain.str()), loopedServer(looped.str());
    auto expected = generate(plainServer, "", base("http://example.com"));
    auto run = generate(loopedServer, "", base("http://example.com"));
    EXPECT_EQ(run.result, WalkResult::Ok);
    EXPECT_EQ(run.file, expected.file);
}

// Without MLST and with logical paths, only the listing tells that a link
// leads back up: two such links would otherwise grow the walk without end.
TEST(DirectoryWalk, LinkCycleIsCutWithoutFolderIdentity) {
    SKIP_ON_WINDOWS("links are tested on Linux");
    TempTree plain, looped;
    for (const auto* tree : {&plain, &looped}) {
        tree->file("a/x.html");
        tree->file("a/b/y.html");
        tree->file("top.html");
    }
    looped.link("a/b/loop", "..");
    looped.link("a/b/loop2", "../..");
    TestServer::Options options;
    options.noMlsd = true;  // LIST gives no identity; this server reports logical paths
    TestServer plainServer(plain.str(), options), loopedServer(looped.str(), options);
    auto expected = generate(plainServer, "", base("http://e"));
    auto run = generate(loopedServer, "", base("http://e"));
    ASSERT_EQ(run.result, WalkResult::Ok);
    EXPECT_EQ(run.file, expected.file);
}

TEST(DirectoryWalk, FailedWriteEndsTheWalk) {
    TempTree tree;
    tree.file("sub/p.html");
    TestServer server(tree.str());
    FtpSession session;
    ASSERT_EQ(session.connect(server.host(), "user", "secret"), 1);
    NameList names;
    ASSERT_GT(session.listNames(names), 0);
    SitemapWriter writer((tree.path() / "missing-folder/sitemap.xml").string(), "http://e", false, false);
    std::string error;
    EXPECT_FALSE(writer.begin(error));
    EXPECT_NE(error.find("missing-folder"), std::string::npos) << error;
    const SiteRules rules = base("http://e");
    WalkOptions options;
    options.rules = &rules;
    options.out = &writer;
    DirectoryWalk walk(session, options, {});
    EXPECT_EQ(walk.run(names), WalkResult::WriteFailed);
}

TEST(DirectoryWalk, ServerGoneMidWalkIsALostConnection) {
    TempTree tree;
    tree.file("a/p.html");
    tree.file("b/q.html");
    TestServer server(tree.str());
    auto run = generate(server, "", base("http://e"), [&](const std::string& folder) {
        if (folder == "http://e/a") server.kill();
    });
    EXPECT_EQ(run.result, WalkResult::ConnectionLost);
    EXPECT_EQ(run.file.find("q.html"), std::string::npos);
}

}  // namespace
