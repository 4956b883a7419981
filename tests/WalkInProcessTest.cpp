#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FakeRemote.h"
#include "RecordingObserver.h"
#include "TempTree.h"
#include "job/Messages.h"
#include "job/SitemapJob.h"

// The walk and the job over in-process fakes of the logins: every way of
// reading writes the same file, and every failure its message.
namespace {

// Pages at the top, eight folders of eight folders, pages in each.
void build(FakeSite& site) {
    site.folders["/"] = {"index.html", "notes.txt"};
    for (int a = 0; a < 8; ++a) {
        const std::string d = "/d" + std::to_string(a);
        site.folders["/"].push_back(d.substr(1));
        site.folders[d] = {"p.html", "q.php"};
        for (int b = 0; b < 8; ++b) {
            site.folders[d].push_back("e" + std::to_string(b));
            site.folders[d + "/e" + std::to_string(b)] = {"r.html", "s.css"};
        }
    }
}

struct JobRun {
    SitemapJob::Outcome outcome;
    std::string file;
    WalkStats stats;
    std::vector<std::string> headlines;
};

JobRun generate(FakeSite& site, int connections, const std::string& folder = "/", bool upload = false) {
    TempTree work;
    RecordingObserver observer;
    JobSettings settings{"fake.example", "user", "secret", folder, "http://example.com", "0", upload ? "1" : "0"};
    settings.connections = connections;
    SitemapJob job(settings, observer, work.str());
    job.setLogins([&](const std::string&) { return std::make_unique<FakeSession>(site); },
                  [&](const std::string&, LoginOptions) { return std::make_unique<FakeReader>(site); });
    const auto outcome = job.run();
    return {outcome, readFile(work.path() / "sitemap.xml"), job.walkStats(), observer.headlines()};
}

TEST(WalkInProcess, EveryWayOfReadingWritesTheSameFile) {
    FakeSite plain;
    build(plain);
    const JobRun expected = generate(plain, 0);
    ASSERT_EQ(expected.outcome, SitemapJob::Outcome::Completed);
    ASSERT_EQ(expected.stats.pages, 1 + 16 + 64);
    const struct {
        const char* what;
        std::function<void(FakeSite&)> twist;
        bool fast;          // the walk with connections wrote it
        int handedBack;     // folders read folder by folder, at least
    } cases[] = {
        {"plain", [](FakeSite&) {}, true, 0},
        {"odd folders are handed back", [](FakeSite& s) { s.oddFolders = {"/d1", "/d5/e2"}; }, true, 2},
        {"a connection lost mid-batch", [](FakeSite& s) { s.breakAt = "/d3/e4"; }, true, 1},
        {"the server takes two logins at once", [](FakeSite& s) { s.loginsAtOnce = 2; }, true, 0},
        {"the target folder's two listings disagree", [](FakeSite& s) { s.fastRootDiffers = true; }, false, 0},
    };
    for (const auto& c : cases) {
        for (int connections : {1, 4}) {
            FakeSite site;
            build(site);
            c.twist(site);
            const JobRun run = generate(site, connections);
            EXPECT_EQ(run.outcome, SitemapJob::Outcome::Completed) << c.what << " " << connections;
            EXPECT_EQ(run.file, expected.file) << c.what << " " << connections;
            EXPECT_EQ(run.stats.connections > 0, c.fast) << c.what << " " << connections;
            EXPECT_GE(run.stats.fallbackFolders, c.handedBack) << c.what << " " << connections;
            if (c.fast) {
                EXPECT_GT(*std::max_element(site.batches.begin(), site.batches.end()), 1u) << c.what;
            }
            EXPECT_LE(site.active, 0) << "every login closed";
        }
    }
}

TEST(WalkInProcess, FailuresEndWithTheirMessage) {
    const struct {
        const char* what;
        std::function<void(FakeSite&)> twist;
        const char* folder;
        bool upload;
        const char* headline;
        int logins;  // at most, counted at the server: a wrong password costs one
    } cases[] = {
        {"wrong password", [](FakeSite& s) { s.loginFails = FailureKind::LoginRefused; }, "/", false,
         messages::kCannotConnect, 1},
        {"no such host", [](FakeSite& s) { s.loginFails = FailureKind::HostNotFound; }, "/", false,
         messages::kCannotConnect, 1},
        {"no such folder", [](FakeSite&) {}, "/nope", false, messages::kCannotChangeFolder, 5},
        {"listing refused", [](FakeSite& s) { s.unlistable = "/"; }, "/", false, messages::kCannotList, 5},
        {"nothing to upload", [](FakeSite& s) { s.folders = {{"/", {"a.txt"}}}; }, "/", true, messages::kNoPages, 5},
    };
    for (const auto& c : cases) {
        for (int connections : {0, 4}) {
            FakeSite site;
            build(site);
            c.twist(site);
            const JobRun run = generate(site, connections, c.folder, c.upload);
            EXPECT_EQ(run.outcome, SitemapJob::Outcome::Failed) << c.what << " " << connections;
            EXPECT_EQ(run.headlines, std::vector<std::string>{c.headline}) << c.what << " " << connections;
            EXPECT_LE(site.logins, c.logins) << c.what << " " << connections;
            EXPECT_TRUE(site.uploads.empty()) << c.what;
        }
    }
    FakeSite site;  // and one that goes up
    build(site);
    EXPECT_EQ(generate(site, 4, "/", true).outcome, SitemapJob::Outcome::Completed);
    EXPECT_EQ(site.uploads, std::vector<std::string>{"sitemap.xml"});
}

}  // namespace
