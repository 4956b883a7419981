#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "Commands.h"
#include "RecordingObserver.h"
#include "TempTree.h"
#include "TestServer.h"
#include "job/Messages.h"
#include "job/SitemapJob.h"

namespace {

using Outcome = SitemapJob::Outcome;

std::string minuteLine(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return messages::completionLine(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                      local.tm_min);
}

class SitemapJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        site.file("www/index.html");
        site.file("www/blog/post.php");
        site.file("www/style.css");
        site.folder("www/empty");
        site.folder("bare");
    }

    JobSettings settingsFor(const TestServer& server, const std::string& folder = "/www") const {
        return {server.host(), server.user(), server.password(), folder, "http://example.com/", "0", "0"};
    }

    Outcome run(JobSettings settings) {
        SitemapJob job(std::move(settings), observer, work.str());
        Outcome outcome = job.run();
        stats = job.walkStats();
        lastFailure = job.failure();
        return outcome;
    }

    std::filesystem::path local() const { return work.path() / "sitemap.xml"; }

    TempTree site, work;
    RecordingObserver observer;
    Failure lastFailure;
    WalkStats stats;
};

TEST_F(SitemapJobTest, WholeGenerationReportsPhasesAndTheStartTime) {
    TestServer server(site.str());
    work.file("sitemap.xml", "old file from the last run");
    std::time_t before = std::time(nullptr);
    auto settings = settingsFor(server);
    settings.connections = 0;  // folder by folder: every folder shows on the progress line
    ASSERT_EQ(run(settings), Outcome::Completed);
    std::time_t after = std::time(nullptr);

    EXPECT_EQ(readFile(local()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n"
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n"
              "\t<url>\r\n\t\t<loc>http://example.com/blog/post.php</loc>\r\n\t</url>\r\n"
              "\t<url>\r\n\t\t<loc>http://example.com/index.html</loc>\r\n\t</url>\r\n"
              "</urlset>\r\n");
    auto events = observer.events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "status:FTP ファイル検索中…");
    EXPECT_EQ(events[1], "status:FTP リスト生成中…");
    EXPECT_EQ(observer.of("progress"),
              (std::vector<std::string>{"http://example.com", "http://example.com/blog", ""}))
        << "an empty folder is entered but not walked";
    EXPECT_TRUE(observer.of("message").empty());
    EXPECT_EQ(events[events.size() - 3], "controls:1");
    std::string last = observer.of("status").back();
    EXPECT_TRUE(last == minuteLine(before) || last == minuteLine(after)) << last;
}

// A run that fits in one file leaves no part of an earlier, larger run.
TEST_F(SitemapJobTest, PartsOfAnEarlierRunDoNotLinger) {
    TestServer server(site.str());
    for (auto name : {"sitemap-1.xml", "sitemap-2.xml", "sitemap-1.xml.gz", "sitemap.xml.gz", "sitemap-x.xml"})
        work.file(name, "old");
    ASSERT_EQ(run(settingsFor(server)), Outcome::Completed);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"sitemap-x.xml", "sitemap.xml"})) << "not ours: left alone";
}

TEST_F(SitemapJobTest, MobileAndTrailingSlashes) {
    TestServer server(site.str());
    auto settings = settingsFor(server, "/www/");
    settings.mobileFlag = "1";
    settings.baseUrl = "https://example.com/";
    ASSERT_EQ(run(settings), Outcome::Completed);
    std::string file = readFile(local());
    EXPECT_NE(file.find("xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\""), std::string::npos);
    EXPECT_NE(file.find("\t\t<loc>https://example.com/index.html</loc>\r\n\t\t<mobile:mobile/>\r\n"),
              std::string::npos);
}

TEST_F(SitemapJobTest, LoginFolderWhenTargetIsEmptyOrSlash) {
    TestServer server(site.str());
    for (std::string folder : {"", "/"}) {
        observer.clear();
        ASSERT_EQ(run(settingsFor(server, folder)), Outcome::Completed);
        EXPECT_NE(readFile(local()).find("<loc>http://example.com/www/blog/post.php</loc>"), std::string::npos);
    }
}

// Failures: the message (what failed, then the cause and what to do, then
// the server's words), no file, an empty status line, controls back.
TEST_F(SitemapJobTest, FailuresEndWithTheirMessage) {
    TestServer server(site.str());
    struct {
        const char* label;
        JobSettings settings;
        FailureKind kind;
        const char* headline;
        const char* cause;  // in the second line
        const char* reply;  // the server's words, last
    } cases[] = {
        {"wrong password", {server.host(), "user", "wrong", "/www", "http://e", "0", "0"}, FailureKind::LoginRefused,
         messages::kCannotConnect, "パスワードが違います", "530 Authentication failed."},
        {"no server", {"127.0.0.1:1", "user", "secret", "/www", "http://e", "0", "0"}, FailureKind::ConnectionRefused,
         messages::kCannotConnect, "ポート番号", ""},
        {"unknown host", {"ftp.quillomar.invalid", "user", "secret", "/www", "http://e", "0", "0"},
         FailureKind::HostNotFound, messages::kCannotConnect, "ホスト名が見つかりません", ""},
        {"missing folder", {server.host(), "user", "secret", "/nowhere", "http://e", "0", "0"},
         FailureKind::FolderRefused, messages::kCannotChangeFolder, "対象フォルダ", "550"},
    };
    for (const auto& c : cases) {
        observer.clear();
        work.file("sitemap.xml", "old");
        EXPECT_EQ(run(c.settings), Outcome::Failed) << c.label;
        EXPECT_EQ(lastFailure.kind, c.kind) << c.label << ": " << lastFailure.reason;
        EXPECT_EQ(observer.headlines(), std::vector<std::string>{c.headline}) << c.label;
        const std::string message = observer.of("message").at(0);
        const size_t second = message.find('\n') + 1;
        EXPECT_NE(message.substr(second, message.find('\n', second) - second).find(c.cause), std::string::npos)
            << c.label << ": " << message;
        EXPECT_EQ(message.substr(message.rfind('\n') + 1).rfind(c.reply, 0), 0u) << c.label << ": " << message;
        auto events = observer.events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[events.size() - 2], "status:") << c.label;
        EXPECT_EQ(events.back(), "controls:1") << c.label;
        EXPECT_EQ(readFile(local()), "<missing>") << c.label;
    }
}

// Nothing to write, and with the upload asked for, a failure that says the
// upload was held back (not a completion that hides it).
TEST_F(SitemapJobTest, EmptyTargetFolderWritesNothingAndUploadsNothing) {
    TestServer server(site.str());
    auto settings = settingsFor(server, "/bare");
    ASSERT_EQ(run(settings), Outcome::Completed);
    EXPECT_EQ(observer.of("status").back().rfind("更新完了 (", 0), 0u);
    settings.uploadFlag = "1";
    observer.clear();
    ASSERT_EQ(run(settings), Outcome::Failed);
    EXPECT_EQ(observer.headlines(), std::vector<std::string>{messages::kNoPages});
    EXPECT_EQ(readFile(local()), "<missing>");
    EXPECT_EQ(readFile(site.path() / "bare/sitemap.xml"), "<missing>");
    auto statuses = observer.of("status");
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "FTP Sitemap.xmlアップロード中…"), 0);
    EXPECT_EQ(statuses.back(), "");
}

TEST_F(SitemapJobTest, UploadSendsTheFileToTheTargetAndDeletesTheLocalCopy) {
    TestServer server(site.str());
    auto settings = settingsFor(server);
    settings.uploadFlag = "1";
    ASSERT_EQ(run(settings), Outcome::Completed);
    EXPECT_EQ(readFile(local()), "<missing>");
    std::string remote = readFile(site.path() / "www/sitemap.xml");
    // Sent in ASCII type: stored with this server's own line ends.
    EXPECT_EQ(remote.find('\r'), std::string::npos);
    EXPECT_NE(remote.find("\t\t<loc>http://example.com/index.html</loc>\n"), std::string::npos);
    auto statuses = observer.of("status");
    ASSERT_GE(statuses.size(), 4u);
    EXPECT_EQ(statuses[2], "FTP Sitemap.xmlアップロード中…");
}

// Compressed files go up whole, in binary type (ASCII type would change
// their bytes wherever CR LF happens to stand in them).
TEST_F(SitemapJobTest, CompressedUploadArrivesWhole) {
    TestServer server(site.str());
    auto settings = settingsFor(server);
    settings.uploadFlag = "1";
    settings.sitemap.gzip = true;
    ASSERT_EQ(run(settings), Outcome::Completed);
    gzFile remote = gzopen((site.path() / "www/sitemap-1.xml.gz").string().c_str(), "rb");
    ASSERT_NE(remote, nullptr);
    std::string text(4096, '\0');
    text.resize(static_cast<size_t>(std::max(0, gzread(remote, text.data(), static_cast<unsigned>(text.size())))));
    int error = Z_OK;
    gzerror(remote, &error);
    gzclose(remote);
    EXPECT_EQ(error, Z_OK);
    EXPECT_TRUE(text.ends_with("</urlset>\r\n")) << text;
    EXPECT_NE(text.find("<loc>http://example.com/index.html</loc>"), std::string::npos);
    // sitemap.xml, the address search engines know, names it.
    EXPECT_NE(readFile(site.path() / "www/sitemap.xml").find("<loc>http://example.com/sitemap-1.xml.gz</loc>"),
              std::string::npos);
#ifndef _WIN32
    TestServer::Options scripted;
    scripted.kind = TestServer::Kind::Hostile;
    scripted.hostileCase = "plain";
    TestServer recording("", scripted);
    settings = {recording.host(), "user", "secret", "/site", "http://example.com", "0", "1"};
    settings.sitemap.gzip = true;
    ASSERT_EQ(run(settings), Outcome::Completed);
    const std::string commands = recording.receivedCommands();
    for (const auto& [file, type] : {std::pair{"STOR sitemap-1.xml.gz", "TYPE I"}, {"STOR sitemap.xml.uploading", "TYPE A"}}) {
        const size_t store = commands.find(file);
        ASSERT_NE(store, std::string::npos) << commands;
        EXPECT_EQ(commands.substr(commands.rfind("TYPE ", store), 6), type) << commands;
    }
#endif
}

TEST_F(SitemapJobTest, RefusedUploadKeepsTheLocalFileAndShowsNoCompletion) {
    TestServer::Options readOnly;
    readOnly.readOnly = true;
    TestServer server(site.str(), readOnly);
    auto settings = settingsFor(server);
    settings.uploadFlag = "1";
    EXPECT_EQ(run(settings), Outcome::Failed);
    EXPECT_EQ(observer.headlines(), std::vector<std::string>{"sitemap.xmlのアップロードに失敗しました"});
    EXPECT_NE(readFile(local()).find("</urlset>"), std::string::npos);
    EXPECT_EQ(observer.of("status").back(), "");
    EXPECT_EQ(observer.events().back(), "controls:1");
}

TEST_F(SitemapJobTest, FileThatCannotBeWrittenEndsTheGeneration) {
    TestServer server(site.str());
    work.file("sitemap.xml/blocker");  // a folder stands where the file goes
    auto settings = settingsFor(server);
    settings.uploadFlag = "1";
    EXPECT_EQ(run(settings), Outcome::Failed);
    EXPECT_EQ(observer.headlines(), std::vector<std::string>{"sitemap.xmlの書き込みに失敗しました"});
    EXPECT_EQ(observer.of("status").back(), "");
    EXPECT_EQ(readFile(site.path() / "www/sitemap.xml"), "<missing>") << "nothing may be uploaded";
    EXPECT_TRUE(std::filesystem::is_directory(local())) << "the folder is not ours to delete";
}

class ServerGoneTest : public SitemapJobTest, public ::testing::WithParamInterface<int> {};

TEST_P(ServerGoneTest, DuringTheWalk) {
    std::unique_ptr<TestServer> server = std::make_unique<TestServer>(site.str());
    auto settings = settingsFor(*server);
    settings.connections = GetParam();

    class KillingObserver : public RecordingObserver {
    public:
        TestServer* server = nullptr;
        void setProgress(const std::string& text) override {
            RecordingObserver::setProgress(text);
            if (text == "http://example.com") server->kill();  // the walk has begun
        }
    } killing;
    killing.server = server.get();
    SitemapJob job(settings, killing, work.str());
    EXPECT_EQ(job.run(), Outcome::Failed);
    EXPECT_EQ(killing.headlines(), std::vector<std::string>{"FTPサーバとの接続が切れました"});
    EXPECT_EQ(readFile(local()), "<missing>");
    EXPECT_EQ(killing.of("status").back(), "");
}

INSTANTIATE_TEST_SUITE_P(Connections, ServerGoneTest, ::testing::Values(0, 1, 4));

// Every way of walking writes the same file.
TEST_F(SitemapJobTest, SameFileForEveryConnectionCount) {
    for (auto name : {"www/a/1.html", "www/a/b/2.php", "www/a/b/c/3.cgi", "www/d/4.htm", "www/d/e/5.html",
                      "www/f g/6.html", "www/h/i/j/k/7.html", "www/v1.0/8.html", "www/README", "www/x.css"})
        site.file(name);
    for (int i = 0; i < 30; ++i) site.file("www/many/f" + std::to_string(i) + "/p" + std::to_string(i) + ".html");
#ifndef _WIN32
    site.link("www/alias", "a/b");
#endif
    TestServer server(site.str());
    std::string expected;
    for (int connections : {0, 1, 2, 8, 16}) {
        auto settings = settingsFor(server);
        settings.connections = connections;
        ASSERT_EQ(run(settings), Outcome::Completed) << connections;
        std::string file = readFile(local());
        if (connections == 0) {
            expected = file;
#ifndef _WIN32
            EXPECT_NE(expected.find("http://example.com/alias/c/3.cgi"), std::string::npos);
#endif
            EXPECT_NE(expected.find("http://example.com/many/f29/p29.html"), std::string::npos);
            EXPECT_EQ(stats.connections, 0);
        } else {
            EXPECT_EQ(file, expected) << connections << " connections";
            // The fast walk ran; logins that come after the work is done stay out.
            EXPECT_GE(stats.connections, 1);
            EXPECT_LE(stats.connections, connections);
            EXPECT_GT(stats.folders, 40);
            EXPECT_LT(stats.roundTrips, stats.folders) << "folders are asked for several at a time";
        }
    }
}

#ifndef _WIN32
// A name that holds line breaks and a reply code ends the folder's STAT
// reply early and shifts every reply after it: the fast walk must notice and
// fall back to reading folder by folder, never attribute a listing to the
// wrong folder. (Listings cannot say where such a name ends; folder by
// folder reading drops what it can tell is broken.)
TEST_F(SitemapJobTest, NameThatLooksLikeAReplyEndCannotShiftTheWalk) {
    site.file("www/evil/a\r\n213 End of status.\r\n-rw-r--r-- 1 u g 1 Jan  1 12:00 fake.html");
    site.file("www/evil/ok.html");
    site.file("www/zzz/last.html");
    TestServer server(site.str());
    auto settings = settingsFor(server);
    settings.connections = 0;
    ASSERT_EQ(run(settings), Outcome::Completed);
    std::string expected = readFile(local());
    EXPECT_NE(expected.find("http://example.com/evil/ok.html"), std::string::npos);
    EXPECT_NE(expected.find("http://example.com/zzz/last.html"), std::string::npos);
    for (int connections : {1, 4}) {
        settings.connections = connections;
        ASSERT_EQ(run(settings), Outcome::Completed) << connections;
        EXPECT_EQ(readFile(local()), expected) << connections;
        EXPECT_EQ(stats.connections, 0) << "the fast walk gave up";
    }
}
#endif

// The upload logs in again right after the walk's logins end: the server
// must have let them go, every time.
TEST_F(SitemapJobTest, ServerThatAllowsOneLogin) {
    site.file("www/a/b/p.html");
    site.file("www/hidden.html");
    site.file("www/robots.txt", "User-agent: *\nDisallow: /hidden\n");
    TestServer::Options one;
    one.maxLogins = 1;
    TestServer server(site.str(), one);
    auto settings = settingsFor(server);
    settings.connections = 8;
    settings.uploadFlag = "1";
    settings.sitemap.robots = true;  // read on the job's login, which comes only after the walk
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove(site.path() / "www/sitemap.xml");
        ASSERT_EQ(run(settings), Outcome::Completed) << round << ::testing::PrintToString(observer.events());
        EXPECT_EQ(stats.connections, 1) << "the one login walks, the refused ones are left out";
        std::string remote = readFile(site.path() / "www/sitemap.xml");
        EXPECT_NE(remote.find("<loc>http://example.com/a/b/p.html</loc>"), std::string::npos);
        EXPECT_NE(remote.find("<loc>http://example.com/blog/post.php</loc>"), std::string::npos);
        EXPECT_EQ(remote.find("hidden"), std::string::npos);
    }
}

// Quirks of real servers and trees: every walk reads every page, and every
// connection count writes the same bytes.
TEST_F(SitemapJobTest, EveryPageOnQuirkyServersAndTrees) {
    std::string deep;
    for (int i = 0; i < 70; ++i) deep += "/d";
    struct {
        const char* label;
        std::vector<std::string> quirks;
        std::string target;
        std::vector<std::string> files;
        std::vector<std::string> urls;
    } cases[] = {
        {"listing arguments split like ls", {"ls-args"}, "/dir with space [draft]/",
         {"dir with space [draft]/index.html", "dir with space [draft]/sub dir/p.html",
          "dir with space [draft]/[x]/q.html"},
         {"http://example.com/index.html", "http://example.com/sub%20dir/p.html",
          "http://example.com/%5Bx%5D/q.html"}},
        {"one MLST identity for every folder", {"constant-unique"}, "/www",
         {"www/a/p.html", "www/a/c/r.html", "www/b/q.html"},
         {"http://example.com/a/p.html", "http://example.com/a/c/r.html", "http://example.com/b/q.html"}},
        {"control bytes in folder names", {}, "/www",
         {"www/tab\there/p.html", "www/esc\x1b/q.html", "www/zz/r.html"},
         {"http://example.com/tab%09here/p.html", "http://example.com/esc%1B/q.html", "http://example.com/zz/r.html"}},
        {"a tree 70 folders deep", {}, "/www", {"www/deep" + deep + "/p.html"},
         {"http://example.com/deep" + deep + "/p.html"}},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        if (c.files.front().find('\t') != std::string::npos) continue;  // no such names on Windows
#endif
        TempTree tree;
        for (const auto& f : c.files) tree.file(f);
        TestServer::Options options;
        options.quirks = c.quirks;
        TestServer server(tree.str(), options);
        std::string first;
        for (int connections : {0, 1, 4}) {
            auto settings = settingsFor(server, c.target);
            settings.connections = connections;
            observer.clear();
            ASSERT_EQ(run(settings), Outcome::Completed) << c.label << " " << connections;
            std::string file = readFile(local());
            for (const auto& url : c.urls)
                EXPECT_NE(file.find("<loc>" + url + "</loc>"), std::string::npos) << c.label << " " << connections;
            if (connections == 0) first = file;
            EXPECT_EQ(file, first) << c.label << " " << connections;
            EXPECT_EQ(stats.missedFolders(), 0) << c.label;
        }
    }
}

// A refused or unreadable listing is no empty folder: the target's fails
// the generation, a sub-folder's is counted and shown.
TEST_F(SitemapJobTest, RefusedAndUnreadableListings) {
    site.file("www/secret/hidden.html");
    for (std::string quirk : {"refuse-list:", "garbage-list:"}) {
        TestServer::Options options;
        options.noMlsd = true;
        options.quirks = {quirk + "www"};
        TestServer refusingTarget(site.str(), options);
        observer.clear();
        EXPECT_EQ(run(settingsFor(refusingTarget)), Outcome::Failed) << quirk;
        EXPECT_EQ(observer.headlines(), std::vector<std::string>{"フォルダの一覧を取得できませんでした"}) << quirk;
        EXPECT_EQ(readFile(local()), "<missing>");

        options.quirks = {quirk + "secret"};
        TestServer refusingSub(site.str(), options);
        for (int connections : {0, 4}) {
            observer.clear();
            auto settings = settingsFor(refusingSub);
            settings.connections = connections;
            ASSERT_EQ(run(settings), Outcome::Completed) << quirk << connections;
            EXPECT_EQ(stats.unreadableFolders, 1) << quirk << connections;
            EXPECT_EQ(observer.of("progress").back(), "一覧を取得できなかったフォルダ: 1") << quirk << connections;
            EXPECT_NE(readFile(local()).find("<loc>http://example.com/blog/post.php</loc>"), std::string::npos);
        }
    }
}

TEST(SitemapJobText, CompletionLineIsZeroPadded) {
    EXPECT_EQ(messages::completionLine(2026, 1, 2, 3, 4), "更新完了 (2026/01/02 03:04)");
    EXPECT_EQ(messages::completionLine(2026, 12, 31, 23, 59), "更新完了 (2026/12/31 23:59)");
}

}  // namespace

// Every option at once, past a (small) limit: both walks upload the same
// parts and index, with what robots.txt and the patterns forbid left out.
TEST_F(SitemapJobTest, EveryOptionSameFilesForEveryWalk) {
    for (auto name : {"www/blog/index.htm", "www/blog/secret.html", "www/private/a.html", "www/doc.PDF",
                      "www/a/b/c.html", "www/a/draft/d.html"})
        site.file(name);
    site.file("www/robots.txt", "User-agent: *\r\nDisallow: /blog/secret\r\n");
    TestServer server(site.str());
    auto settings = settingsFor(server);
    settings.uploadFlag = "1";
    settings.sitemap.lastmod = settings.sitemap.robots = settings.sitemap.indexAsFolder = true;
    settings.sitemap.exclude = {"/private", "*/draft/*"};
    settings.sitemap.extensions = {".html", ".htm", ".pdf"};
    std::string expected;
    for (int connections : {0, 4}) {
        settings.connections = connections;
        SitemapJob job(settings, observer, work.str());
        job.setFileLimits({2, 1u << 20});
        ASSERT_EQ(job.run(), Outcome::Completed) << connections;
        EXPECT_EQ(job.robots(), SitemapJob::Robots::Read);
        EXPECT_EQ(job.walkStats().pages, 4);  // a/b/c.html, blog/, doc.PDF, the top's index.html
        EXPECT_EQ(job.walkStats().excludedByRobots, 1);
        EXPECT_EQ(job.walkStats().excludedByPattern, 2);
        EXPECT_EQ(observer.of("progress").back(), "ページ 4・フォルダ 4・robots.txt で除外 1・パターンで除外 2");
        std::string files;
        for (auto name : {"sitemap-1.xml", "sitemap-2.xml", "sitemap.xml"}) {
            EXPECT_EQ(readFile(work.path() / name), "<missing>") << "uploaded, so gone here";
            files += readFile(site.path() / "www" / name);
            EXPECT_TRUE(xmlValid("'" + (site.path() / "www" / name).string() + "'",
                                 name == std::string("sitemap.xml") ? "siteindex.xsd" : "sitemap-all.xsd"))
                << name;
        }
        EXPECT_EQ(readFile(site.path() / "www/sitemap-3.xml"), "<missing>");
        // The index's times are the runs' own.
        files = std::regex_replace(files, std::regex("T[0-9:]+Z</lastmod>"), "</lastmod>");
        if (connections == 0) expected = files;
        EXPECT_EQ(files, expected) << connections;
    }
    for (auto loc : {"http://example.com/a/b/c.html", "http://example.com/blog/", "http://example.com/doc.PDF",
                     "http://example.com/", "http://example.com/sitemap-2.xml"})
        EXPECT_NE(expected.find(std::string("<loc>") + loc + "</loc>\n\t\t<lastmod>"), std::string::npos) << loc;
    EXPECT_EQ(expected.find("secret"), std::string::npos);
    EXPECT_EQ(expected.find("draft"), std::string::npos);
    EXPECT_EQ(expected.find("private"), std::string::npos);
}

// Every kind of failure has its first line, and the kinds that carry a
// fingerprint or names show them.
TEST(Messages, EveryKindHasItsText) {
    for (int k = static_cast<int>(FailureKind::LoginRefused); k <= static_cast<int>(FailureKind::Shrunk); ++k) {
        const Failure failure{static_cast<FailureKind>(k), "reply", "SHA256:x"};
        const std::string text = messages::text(failure);
        EXPECT_NE(std::string(messages::headline(failure.kind)), "") << k;
        EXPECT_EQ(text.substr(text.rfind('\n') + 1), "reply") << k;
        const bool hasDetail = failure.kind == FailureKind::HostKeyUnknown || failure.kind == FailureKind::HostKeyChanged ||
                               failure.kind == FailureKind::CertificateOtherName || failure.kind == FailureKind::Shrunk;
        EXPECT_EQ(text.find("SHA256:x") != std::string::npos, hasDetail) << k;
    }
}
