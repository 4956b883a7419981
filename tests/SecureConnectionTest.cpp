// FTP over TLS against vsftpd with certificates made for the test: the same
// sitemap as over plain FTP, and refused certificates end the generation
// with a message that says why.
#include <gtest/gtest.h>

#include "RecordingObserver.h"
#include "TempTree.h"
#include "TestServer.h"
#include "sitemap/SitemapJob.h"

namespace {

using Outcome = SitemapJob::Outcome;

TestServer::Options vsftpd(const std::string& tls, const std::string& certificate = "good") {
    TestServer::Options options;
    options.kind = TestServer::Kind::Vsftpd;
    options.tls = tls;
    options.certificate = certificate;
    options.writableFolder = "www";
    return options;
}

JobSettings settingsFor(const TestServer& server) {
    JobSettings settings{server.host(), server.user(), server.password(), "/www", "http://example.com", "0", "0"};
    settings.caFile = server.caFile();
    return settings;
}

struct Generation {
    Outcome outcome;
    std::string file, reason;
    std::vector<std::string> messages;
    int walkConnections = 0;  // 0: folder by folder
};

Generation generate(const JobSettings& settings) {
    TempTree work;
    RecordingObserver observer;
    SitemapJob job(settings, observer, work.str());
    Generation run;
    run.outcome = job.run();
    run.file = readFile(work.path() / "sitemap.xml");
    run.reason = job.failureReason();
    run.messages = observer.of("message");
    run.walkConnections = job.walkStats().connections;
    return run;
}

TEST(SecureConnection, SameSitemapOverExplicitAndImplicitTls) {
    TempTree site;
    for (auto name : {"www/index.html", "www/a/b.php", "www/a/c/d.html", "www/日本語/e.html"}) site.file(name);
    site.link("www/a/loop", "..");
    std::string expected;
    {
        TestServer plain(site.str(), vsftpd(""));
        auto settings = settingsFor(plain);
        settings.connections = 0;
        Generation run = generate(settings);
        ASSERT_EQ(run.outcome, Outcome::Completed) << run.reason;
        expected = run.file;
        EXPECT_NE(expected.find("http://example.com/%E6%97%A5%E6%9C%AC%E8%AA%9E/e.html"), std::string::npos);
    }
    for (const char* tls : {"explicit", "implicit"}) {
        TestServer server(site.str(), vsftpd(tls));
        for (int connections : {0, 4}) {
            auto settings = settingsFor(server);
            settings.connections = connections;
            Generation run = generate(settings);
            ASSERT_EQ(run.outcome, Outcome::Completed) << tls << connections << run.reason;
            EXPECT_EQ(run.file, expected) << tls << " " << connections;
            EXPECT_EQ(run.walkConnections > 0, connections > 0) << tls << ": the fast walk pipelines over TLS";
        }
        // Uploaded twice: the second replaces the first.
        auto settings = settingsFor(server);
        settings.uploadFlag = "1";
        for (int round = 0; round < 2; ++round) {
            Generation run = generate(settings);
            ASSERT_EQ(run.outcome, Outcome::Completed) << tls << run.reason;
            EXPECT_NE(readFile(site.path() / "www/sitemap.xml").find("<loc>http://example.com/a/c/d.html</loc>"),
                      std::string::npos)
                << tls;
        }
        std::filesystem::remove(site.path() / "www/sitemap.xml");
    }
}

TEST(SecureConnection, RefusedCertificatesAndNoClearText) {
    TempTree site;
    site.file("www/index.html");
    struct {
        const char* what;
        const char* certificate;
        bool trustTestAuthority;
        const char* message;
        const char* reason;
    } cases[] = {
        {"another host's certificate", "other", true,
         "FTPサーバの証明書はホスト名と一致しません。ホストの欄を確かめてください。証明書の名前: "
         "ftp.other.example, *.other.example",
         "is for ftp.other.example, *.other.example, not 127.0.0.1"},
        {"expired", "expired", true, SitemapJob::kCertificateRefused, "expired"},
        {"signed by an unknown authority", "untrusted", true, SitemapJob::kCertificateRefused, "issuer"},
        {"authority not trusted", "good", false, SitemapJob::kCertificateRefused, "issuer"},
    };
    for (const auto& c : cases) {
        for (const char* tls : {"explicit", "implicit"}) {
            TestServer server(site.str(), vsftpd(tls, c.certificate));
            auto settings = settingsFor(server);
            if (!c.trustTestAuthority) settings.caFile.clear();
            Generation run = generate(settings);
            EXPECT_EQ(run.outcome, Outcome::Failed) << c.what << " " << tls;
            EXPECT_EQ(run.messages, std::vector<std::string>{c.message}) << c.what << " " << tls;
            EXPECT_NE(run.reason.find(c.reason), std::string::npos) << c.what << " " << tls << ": " << run.reason;
            EXPECT_EQ(run.file, "<missing>");
        }
    }

    // A server without TLS: ftpes:// never falls back to clear text, so the
    // password is never sent.
    TestServer::Options scripted;
    scripted.kind = TestServer::Kind::Hostile;
    scripted.hostileCase = "plain";
    TestServer plain("", scripted);
    JobSettings settings{"ftpes://" + plain.host(), "user", "secret", "/site", "http://example.com", "0", "0"};
    Generation run = generate(settings);
    EXPECT_EQ(run.outcome, Outcome::Failed);
    EXPECT_EQ(run.messages, std::vector<std::string>{SitemapJob::kCannotConnect});
    EXPECT_NE(plain.receivedCommands().find("AUTH TLS"), std::string::npos) << plain.receivedCommands();
    EXPECT_EQ(plain.receivedCommands().find("PASS"), std::string::npos) << plain.receivedCommands();
}

}  // namespace
