// A server that misbehaves in one way per case: never a hang past the
// limits, never a crash, the right outcome and message, nothing reported as
// success after a failure, no partial file left, and no command with a line
// break (or one the server smuggled in) ever sent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "Commands.h"
#include "RecordingObserver.h"
#include "TempTree.h"
#include "TestServer.h"
#include "job/Messages.h"
#include "job/SitemapJob.h"

namespace {

enum class Expect { AllPages, Completed, Failed, Any };

struct HostileCase {
    const char* name;
    Expect sequential;  // --connections 0
    Expect fast;        // the default walk
    const char* message = nullptr;  // when failed: this message
    bool upload = false;
    int replyTimeout = 2;  // seconds a reply may take to begin
    int timeLimit = 0;
    const char* mustContain = nullptr;  // a URL the file holds
    bool missesFolders = false;
    const char* askedOnce = nullptr;  // a command a failure on a deadline must not make us send again
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

constexpr const char* kNoLogin = messages::kCannotConnect;
constexpr const char* kLost = messages::kConnectionLost;
constexpr const char* kNoList = messages::kCannotList;
constexpr const char* kUploadFailed = messages::kUploadFailed;

const std::string kAllPages =
    "\t<url>\r\n\t\t<loc>http://example.com/a/p.html</loc>\r\n\t</url>\r\n"
    "\t<url>\r\n\t\t<loc>http://example.com/b/c/r.cgi</loc>\r\n\t</url>\r\n"
    "\t<url>\r\n\t\t<loc>http://example.com/b/q.php</loc>\r\n\t</url>\r\n"
    "\t<url>\r\n\t\t<loc>http://example.com/index.html</loc>\r\n\t</url>\r\n";

class HostileServerTest : public ::testing::TestWithParam<std::tuple<HostileCase, int>> {};

TEST_P(HostileServerTest, HoldsItsGround) {
    const auto& [c, connections] = GetParam();
    TestServer::Options options;
    options.kind = TestServer::Kind::Hostile;
    options.hostileCase = c.name;
    TestServer server("", options);
    TempTree work;
    RecordingObserver observer;
    JobSettings settings{server.host(), "user", "secret", "/site", "http://example.com", "0", c.upload ? "1" : "0"};
    settings.connections = connections;
    settings.replyTimeoutSeconds = c.replyTimeout;
    settings.timeLimitSeconds = c.timeLimit;
    SitemapJob job(settings, observer, work.str());

    auto started = std::chrono::steady_clock::now();
    auto outcome = job.run();
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Far beyond every limit in play: only a hang gets here.
    EXPECT_LT(seconds, 20 * c.replyTimeout + c.timeLimit + 30) << "hung";

    const Expect expect = connections == 0 ? c.sequential : c.fast;
    const std::string file = readFile(work.path() / "sitemap.xml");
    const auto messages = observer.headlines();
    if (expect == Expect::Failed) {
        EXPECT_EQ(outcome, SitemapJob::Outcome::Failed) << file;
        if (c.message) {
            EXPECT_EQ(messages, std::vector<std::string>{c.message}) << job.failure().reason;
        }
    } else if (expect != Expect::Any) {
        EXPECT_EQ(outcome, SitemapJob::Outcome::Completed) << ::testing::PrintToString(messages) << job.failure().reason;
        if (expect == Expect::AllPages && !c.upload) {
            EXPECT_NE(file.find(kAllPages), std::string::npos) << file.substr(0, 2000);
        }
        EXPECT_EQ(job.walkStats().missedFolders() > 0, c.missesFolders);
    }
    if (outcome == SitemapJob::Outcome::Completed) {
        EXPECT_EQ(observer.of("status").back().rfind("更新完了 (", 0), 0u);
        // Past 50,000 pages, sitemap.xml is the index of sitemap-1.xml, ...
        std::string all = file;
        int parts = 0;
        for (std::string part; (part = readFile(work.path() / ("sitemap-" + std::to_string(parts + 1) + ".xml"))) !=
                               "<missing>";
             ++parts)
            all += part;
        if (!c.upload) {
            EXPECT_EQ(file.rfind("<?xml", 0), 0u);
            EXPECT_TRUE(parts == 0 ? file.ends_with("</urlset>\r\n") : file.ends_with("</sitemapindex>\r\n"));
            EXPECT_EQ(parts, c.name == std::string("many-entries") ? 5 : 0) << "200,004 pages";
            EXPECT_TRUE(xmlValid("'" + work.str() + "'/sitemap*.xml")) << "not well-formed";
        }
        if (c.mustContain) {
            EXPECT_NE(all.find(c.mustContain), std::string::npos);
        }
    } else {
        EXPECT_FALSE(messages.empty()) << "a failure says so";
        EXPECT_NE(observer.of("status").back().rfind("更新完了", 0), 0u);
        if (!c.upload) {
            EXPECT_EQ(file, "<missing>") << "a partial file was left";
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(work.path()))
        EXPECT_NE(entry.path().extension(), ".part") << "left behind: " << entry.path();
    if (c.askedOnce) {
        const std::string commands = server.receivedCommands();
        size_t count = 0;
        for (size_t at = commands.find(c.askedOnce); at != std::string::npos; at = commands.find(c.askedOnce, at + 1))
            ++count;
        EXPECT_LE(count, 1u) << c.askedOnce << " asked again after a deadline";
    }
    if (c.upload && outcome == SitemapJob::Outcome::Completed) {
        EXPECT_NE(server.uploadedFiles().find("/site/sitemap.xml "), std::string::npos) << server.uploadedFiles();
        EXPECT_EQ(server.uploadedFiles().find(".uploading"), std::string::npos) << server.uploadedFiles();
    }
    const std::string commands = server.receivedCommands();
    EXPECT_EQ(commands.find("<LF>"), std::string::npos) << "a command held a line break";
    EXPECT_EQ(commands.find("<CR>"), std::string::npos) << "a command held a line break";
    EXPECT_EQ(commands.find("<NUL>"), std::string::npos);
    EXPECT_EQ(commands.find("DELE /site/index.html"), std::string::npos) << "a smuggled command went out";
}

using E = Expect;
const HostileCase kCases[] = {
    {"plain", E::AllPages, E::AllPages},
    {"plain", E::AllPages, E::AllPages, nullptr, true},
    {"no-greeting", E::Failed, E::Failed, kNoLogin},
    {"silent-after-greeting", E::Failed, E::Failed, kNoLogin},
    {"busy-421", E::Failed, E::Failed, kNoLogin},
    {"login-530", E::Failed, E::Failed, kNoLogin},
    {"close-after-greeting", E::Failed, E::Failed, kNoLogin},
    {"byte-by-byte", E::AllPages, E::AllPages},
    {"cut-mid-listing", E::Failed, E::Failed, kLost},
    {"cut-mid-stat", E::AllPages, E::AllPages},
    {"huge-reply-line", E::Any, E::Any},
    {"endless-reply-line", E::Failed, E::Failed},
    {"endless-listing", E::Failed, E::Failed},
    {"many-entries", E::Completed, E::Completed, nullptr, false, 2, 0, "http://example.com/a/p199999.html"},
    {"hostile-names", E::Completed, E::Completed, nullptr, false, 2, 0, "http://example.com/b/ctl%01dir/z.html"},
    {"infinite-tree", E::Completed, E::Completed, nullptr, false, 2, 0, nullptr, true},
    {"branching-tree", E::Failed, E::Failed, messages::kTimeLimit, false, 2, 4},
    {"pasv-other-host", E::AllPages, E::AllPages},
    {"pasv-closed-port", E::Failed, E::Failed},
    {"pasv-garbage", E::Failed, E::Failed},
    {"stat-lies-root", E::AllPages, E::AllPages},
    {"stat-lies-below", E::AllPages, E::Completed},
    {"unsolicited-replies", E::AllPages, E::AllPages},
    {"out-of-order", E::AllPages, E::AllPages},
    {"list-preliminary-only", E::Failed, E::AllPages},
    {"cwd-preliminary", E::Any, E::Any},
    {"stor-553", E::Failed, E::Failed, kUploadFailed, true},
    {"stor-reset", E::Failed, E::Failed, kUploadFailed, true},
    {"stor-never-finished", E::Failed, E::Failed, kUploadFailed, true},
    {"trickle-replies", E::Failed, E::Failed},
    {"trickle-listing", E::Failed, E::AllPages},
    {"trickle-stat", E::AllPages, E::AllPages},
    {"trickle-root-listing", E::Failed, E::Failed, nullptr, false, 2, 0, nullptr, false, "\nLIST"},
    {"pwd-injection-lf", E::Any, E::Any},
    {"pwd-injection-cr", E::Any, E::Any},
    {"pwd-no-quotes", E::AllPages, E::AllPages},
    {"pwd-windows-path", E::AllPages, E::AllPages},
    {"mlst-malformed", E::AllPages, E::AllPages},
    {"mlst-constant-identity", E::AllPages, E::AllPages},
    {"no-stat", E::AllPages, E::AllPages},
    {"stat-silent-below", E::AllPages, E::AllPages},
    {"list-refused-target", E::Failed, E::Failed, kNoList},
    {"greeted-never-answered", E::AllPages, E::AllPages, nullptr, false, 60},
    {"rename-refused", E::AllPages, E::AllPages, nullptr, true},
    {"multiline-greeting", E::AllPages, E::AllPages},
    {"dos-listing", E::AllPages, E::AllPages},
    {"dot-entries-and-totals", E::AllPages, E::AllPages},
    {"list-refused-folder", E::Completed, E::Completed, nullptr, false, 2, 0, "http://example.com/b/q.php", true},
    {"cwd-refused-listed-folder", E::Completed, E::Completed, nullptr, false, 2, 0, "http://example.com/b/q.php",
     true},
    {"stat-212-spaces", E::AllPages, E::AllPages},
    {"stat-code-prefixed", E::AllPages, E::AllPages},
    {"feat-garbage", E::AllPages, E::AllPages},
    {"opts-refused", E::AllPages, E::AllPages},
    {"mlst-refused", E::AllPages, E::AllPages},
    {"no-feat", E::AllPages, E::AllPages},
    {"login-without-password", E::AllPages, E::AllPages},
    {"quit-never-answered", E::AllPages, E::AllPages, nullptr, true},
    {"data-never-sent", E::Failed, E::AllPages, kLost},
    {"421-midway", E::Failed, E::Failed, kLost},
    {"garbage-reply-codes", E::Any, E::Any},
    {"shift-jis-names", E::Completed, E::Completed, nullptr, false, 2, 0, "http://example.com/a/%93%FA%96%7B.html"},
    {"names-with-spaces", E::Completed, E::Completed, nullptr, false, 2, 0, "http://example.com/a/d%20%20s/in.html"},
    {"stor-rename-target-refused", E::AllPages, E::AllPages, nullptr, true},
    {"reply-bare-lf", E::Any, E::Any},
};

// Logins are not spent twice: the job's own login, which reads the target
// folder beside the walk's, also does the upload.
TEST(HostileServerLogins, OneLoginBesideTheWalksIncludingTheUpload) {
    for (int connections : {1, 4}) {
        TestServer::Options options;
        options.kind = TestServer::Kind::Hostile;
        options.hostileCase = "plain";
        TestServer server("", options);
        TempTree work;
        RecordingObserver observer;
        JobSettings settings{server.host(), "user", "secret", "/site", "http://example.com", "0", "1"};
        settings.connections = connections;
        ASSERT_EQ(SitemapJob(settings, observer, work.str()).run(), SitemapJob::Outcome::Completed) << connections;
        const std::string commands = server.receivedCommands();
        size_t logins = 0;
        for (size_t at = commands.find("USER "); at != std::string::npos; at = commands.find("USER ", at + 1))
            ++logins;
        EXPECT_EQ(logins, static_cast<size_t>(connections + 1)) << connections;
        EXPECT_NE(server.uploadedFiles().find("/site/sitemap.xml "), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileServerTest, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(0, 4)),
                         [](const auto& test) {
                             std::string name = std::get<0>(test.param).name;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             if (std::get<0>(test.param).upload) name += "_upload";
                             return name + "_" + std::to_string(std::get<1>(test.param));
                         });

}  // namespace
