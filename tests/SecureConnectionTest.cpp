// FTP over TLS against vsftpd with certificates made for the test, and SFTP
// against a paramiko server: the same sitemap as over plain FTP, and a
// server not trusted (certificate or host key) ends the generation with a
// message that says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "RecordingObserver.h"
#include "TempTree.h"
#include "TestServer.h"
#include "job/Messages.h"
#include "job/SitemapJob.h"

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
    std::vector<std::string> messages, questions;  // messages: first lines
    Failure failure;
    int walkConnections = 0;  // 0: folder by folder
};

Generation generate(const JobSettings& settings, bool answer = false) {
    TempTree work;
    RecordingObserver observer;
    observer.answer = answer;
    SitemapJob job(settings, observer, work.str());
    Generation run;
    run.outcome = job.run();
    run.file = readFile(work.path() / "sitemap.xml");
    run.failure = job.failure();
    run.reason = job.failure().reason;
    run.messages = observer.headlines();
    run.questions = observer.of("question");
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
        FailureKind kind;
        const char* detail;
        const char* reason;
    } cases[] = {
        {"another host's certificate", "other", true, FailureKind::CertificateOtherName,
         "ftp.other.example, *.other.example", "is for ftp.other.example, *.other.example, not 127.0.0.1"},
        {"expired", "expired", true, FailureKind::CertificateUntrusted, "", "expired"},
        {"signed by an unknown authority", "untrusted", true, FailureKind::CertificateUntrusted, "", "issuer"},
        {"authority not trusted", "good", false, FailureKind::CertificateUntrusted, "", "issuer"},
    };
    for (const auto& c : cases) {
        for (const char* tls : {"explicit", "implicit"}) {
            TestServer server(site.str(), vsftpd(tls, c.certificate));
            auto settings = settingsFor(server);
            if (!c.trustTestAuthority) settings.caFile.clear();
            Generation run = generate(settings);
            EXPECT_EQ(run.outcome, Outcome::Failed) << c.what << " " << tls;
            EXPECT_EQ(run.messages, std::vector<std::string>{messages::kCannotConnect}) << c.what << " " << tls;
            EXPECT_EQ(run.failure.kind, c.kind) << c.what << " " << tls;
            EXPECT_EQ(run.failure.detail, c.detail) << c.what << " " << tls;
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
    EXPECT_EQ(run.messages, std::vector<std::string>{messages::kCannotConnect});
    EXPECT_EQ(run.failure.kind, FailureKind::TlsRefused) << run.reason;
    EXPECT_NE(plain.receivedCommands().find("AUTH TLS"), std::string::npos) << plain.receivedCommands();
    EXPECT_EQ(plain.receivedCommands().find("PASS"), std::string::npos) << plain.receivedCommands();
}

// The sitemap's addresses, in order of text: servers list folders in
// their own order.
std::vector<std::string> sortedLines(const std::string& file) {
    std::vector<std::string> lines;
    std::istringstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TestServer::Options sftp(const std::string& hostKeyFile = "", bool posixRename = false) {
    TestServer::Options options;
    options.kind = TestServer::Kind::Sftp;
    options.hostKeyFile = hostKeyFile;
    options.posixRename = posixRename;
    return options;
}

JobSettings sftpSettings(const TestServer& server, const TempTree& keys) {
    JobSettings settings{server.host(), server.user(), server.password(), "/www", "http://example.com", "0", "0"};
    settings.knownHostsFile = (keys.path() / "known_hosts").string();
    settings.trustedHostKey = server.fingerprint();
    return settings;
}

TEST(SecureConnection, SftpWalksAndReplacesAsFtpDoes) {
    TempTree site;
    for (auto name : {"www/index.html", "www/a/b.php", "www/a/c/d.html", "www/日本語/e.html"}) site.file(name);
    site.link("www/a/loop", "..");
    std::string plain;
    {
        TestServer server(site.str());
        JobSettings settings{server.host(), server.user(), server.password(), "/www", "http://example.com", "0", "0"};
        settings.connections = 0;
        Generation run = generate(settings);
        ASSERT_EQ(run.outcome, Outcome::Completed) << run.reason;
        plain = run.file;
    }
    // paramiko's files with the plain rename only, and with posix-rename;
    // then OpenSSH's own sftp-server (its paths the machine's: "/www" is
    // found below the login folder).
    enum Files { Renames, PosixRename, OpenSsh };
    for (Files files : {Renames, PosixRename, OpenSsh}) {
        const bool posixRename = files != Renames;
        TempTree keys;
        TestServer::Options options = sftp("", files == PosixRename);
        options.openSshFiles = files == OpenSsh;
        TestServer server(site.str(), options);
        std::string first;
        for (int connections : {0, 4}) {
            auto settings = sftpSettings(server, keys);
            settings.connections = connections;
            Generation run = generate(settings);
            ASSERT_EQ(run.outcome, Outcome::Completed) << connections << run.reason;
            EXPECT_EQ(sortedLines(run.file), sortedLines(plain)) << connections;
            EXPECT_EQ(run.walkConnections > 0, connections > 0) << "the fast walk reads over SFTP";
            if (first.empty()) first = run.file;
            EXPECT_EQ(run.file, first) << "both walks write the same bytes";
        }
        // Uploaded twice: the second replaces the first, whether or not the
        // server offers the rename that replaces.
        auto settings = sftpSettings(server, keys);
        settings.uploadFlag = "1";
        for (int round = 0; round < 2; ++round) {
            std::filesystem::remove(site.path() / "www/a/b.php");
            if (round == 1) site.file("www/a/new.html");
            Generation run = generate(settings);
            ASSERT_EQ(run.outcome, Outcome::Completed) << run.reason;
        }
        const std::string uploaded = readFile(site.path() / "www/sitemap.xml");
        EXPECT_NE(uploaded.find("http://example.com/a/new.html"), std::string::npos) << uploaded;
        const std::string commands = server.receivedCommands();
        if (files != OpenSsh) {
            EXPECT_EQ(commands.find("posix-rename") != std::string::npos, posixRename) << commands;
        }
        for (auto left : {"www/sitemap.xml.uploading", "www/sitemap.xml.previous"})
            EXPECT_FALSE(std::filesystem::exists(site.path() / left)) << left;
        std::filesystem::remove(site.path() / "www/sitemap.xml");
        std::filesystem::remove(site.path() / "www/a/new.html");
        site.file("www/a/b.php");
    }
}

// Logged in at /home/u, as SFTP servers mostly leave a login: "/www", as FTP
// shows the site's folder, is found below it; the full path works as well.
TEST(SecureConnection, SftpFindsTheFtpStyleFolderBelowTheLogin) {
    TempTree site, keys;
    site.file("home/u/www/a/index.html");
    TestServer::Options options = sftp();
    options.home = "/home/u";
    TestServer server(site.str(), options);
    for (const char* folder : {"/www", "/home/u/www", "www"}) {
        for (int connections : {0, 4}) {
            auto settings = sftpSettings(server, keys);
            settings.targetFolder = folder;
            settings.connections = connections;
            Generation run = generate(settings);
            ASSERT_EQ(run.outcome, Outcome::Completed) << folder << " " << connections << run.reason;
            EXPECT_NE(run.file.find("<loc>http://example.com/a/index.html</loc>"), std::string::npos) << folder;
            EXPECT_EQ(run.walkConnections > 0, connections > 0) << folder;
        }
    }
    auto settings = sftpSettings(server, keys);
    settings.targetFolder = "/nowhere";
    EXPECT_EQ(generate(settings).failure.kind, FailureKind::FolderRefused);
}

// Servers out of step with the protocol are refused, saying so: another
// SFTP version (its attributes would be misread), replies to ids answered
// already (they were kept, without bound, and the run reported success).
TEST(SecureConnection, SftpServersOutOfStepAreRefused) {
    TempTree site, keys;
    site.file("www/index.html");
    site.file("www/a/p.html");
    struct {
        int version;
        bool duplicateNames;
        const char* reason;
    } cases[] = {{6, false, "SFTP version 6, not version 3"}, {3, true, "SFTP replies out of step"}};
    for (const auto& c : cases) {
        TestServer::Options options = sftp();
        options.sftpVersion = c.version;
        options.duplicateNames = c.duplicateNames;
        TestServer server(site.str(), options);
        for (int connections : {0, 4}) {
            JobSettings settings = sftpSettings(server, keys);
            settings.connections = connections;
            Generation run = generate(settings);
            EXPECT_EQ(run.outcome, Outcome::Failed) << c.reason << " " << connections;
            EXPECT_NE(run.reason.find(c.reason), std::string::npos) << connections << ": " << run.reason;
        }
    }
}

// A listing that never ends, slowly or at once, fails within its limit
// (15 times the reply limit), and is not asked again: both walks.
TEST(SecureConnection, SftpListingsThatNeverEndFailInTime) {
    TempTree site, keys;
    site.file("www/index.html");
    site.file("www/endless/.keep");
    for (const auto& [endless, connections] : {std::pair{"trickle", 0}, std::pair{"empty", 4}}) {
        TestServer::Options options = sftp();
        options.endless = endless;
        TestServer server(site.str(), options);
        JobSettings settings = sftpSettings(server, keys);
        settings.connections = connections;
        settings.replyTimeoutSeconds = 1;
        const auto started = std::chrono::steady_clock::now();
        Generation run = generate(settings);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(run.outcome, Outcome::Failed) << endless;
        EXPECT_NE(run.reason.find("within 15 s"), std::string::npos) << endless << ": " << run.reason;
        EXPECT_LT(seconds, 20.0) << endless;
    }
}

// A server that takes the connection and never says a word: the run fails
// once the reply limit has passed, with both walks.
TEST(SecureConnection, SftpServerThatNeverSpeaksFailsInTime) {
    TestServer::Options scripted;
    scripted.kind = TestServer::Kind::Hostile;
    scripted.hostileCase = "no-greeting";
    TestServer silent("", scripted);
    for (int connections : {0, 4}) {
        JobSettings settings{"sftp://" + silent.host(), "user", "secret", "/www", "http://example.com", "0", "0"};
        settings.connections = connections;
        settings.replyTimeoutSeconds = 1;
        const auto started = std::chrono::steady_clock::now();
        Generation run = generate(settings);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(run.failure.kind, FailureKind::NoAnswer) << connections << run.reason;
        EXPECT_LT(seconds, 10.0) << connections;
    }
}

TEST(SecureConnection, SftpHostKeysTrustedOnceAndNeverReplaced) {
    TempTree site, keys, serverKeys;
    site.file("www/index.html");
    const auto knownHosts = keys.path() / "known_hosts";
    TestServer server(site.str(), sftp((serverKeys.path() / "first").string()));
    auto settings = sftpSettings(server, keys);
    settings.trustedHostKey.clear();

    // First use: asked once, with the key's fingerprint; no keeps nothing.
    for (int connections : {0, 4}) {
        settings.connections = connections;
        Generation refused = generate(settings, false);
        EXPECT_EQ(refused.outcome, Outcome::Failed);
        ASSERT_EQ(refused.questions.size(), 1u) << connections;
        EXPECT_NE(refused.questions[0].find(server.fingerprint()), std::string::npos) << refused.questions[0];
        EXPECT_EQ(refused.failure.kind, FailureKind::HostKeyUnknown);
        EXPECT_EQ(refused.failure.detail, server.fingerprint());
        EXPECT_FALSE(std::filesystem::exists(knownHosts));
    }
    // Yes keeps the key; later runs ask nothing.
    Generation trusted = generate(settings, true);
    ASSERT_EQ(trusted.outcome, Outcome::Completed) << trusted.reason;
    const std::string kept = readFile(knownHosts);
    EXPECT_EQ(kept.rfind("[127.0.0.1]:" + std::to_string(server.port()) + " ecdsa-sha2-nistp256 AAAA", 0), 0u) << kept;
    Generation again = generate(settings, false);
    EXPECT_EQ(again.outcome, Outcome::Completed) << again.reason;
    EXPECT_TRUE(again.questions.empty());

    // Another key where that one was trusted: refused without a question,
    // even when the settings name the new key; the file stays as it was.
    TestServer impostor(site.str(), sftp((serverKeys.path() / "second").string()));
    std::string moved = kept;
    moved.replace(moved.find(std::to_string(server.port())), std::to_string(server.port()).size(),
                  std::to_string(impostor.port()));
    std::ofstream(knownHosts, std::ios::binary) << moved;
    auto impostorSettings = sftpSettings(impostor, keys);
    Generation changed = generate(impostorSettings, true);
    EXPECT_EQ(changed.outcome, Outcome::Failed);
    EXPECT_TRUE(changed.questions.empty());
    EXPECT_EQ(changed.failure.kind, FailureKind::HostKeyChanged);
    EXPECT_EQ(changed.failure.detail, impostor.fingerprint());
    EXPECT_EQ(readFile(knownHosts), moved);

    // A line for the plain host speaks for port 22 alone, as OpenSSH reads
    // it: another key there is no changed key on this port.
    std::ofstream(knownHosts, std::ios::binary) << "127.0.0.1" << moved.substr(moved.find(' '));
    Generation plainHost = generate(settings, true);
    EXPECT_EQ(plainHost.outcome, Outcome::Completed) << plainHost.reason;
    EXPECT_EQ(plainHost.questions.size(), 1u) << "a key not known for this port is asked about";

    // A key marked revoked is never trusted, whatever else the file says.
    std::ofstream(knownHosts, std::ios::binary) << kept << "@revoked * " << kept.substr(kept.find(' ') + 1);
    Generation revoked = generate(settings, true);
    EXPECT_EQ(revoked.outcome, Outcome::Failed);
    EXPECT_TRUE(revoked.questions.empty());
    EXPECT_EQ(revoked.failure.kind, FailureKind::HostKeyChanged);
    EXPECT_EQ(revoked.failure.detail, server.fingerprint());

    // Unattended: only the key the settings name is trusted.
    std::filesystem::remove(knownHosts);
    impostorSettings.trustedHostKey = server.fingerprint();
    Generation wrongKey = generate(impostorSettings);
    EXPECT_EQ(wrongKey.outcome, Outcome::Failed);
    EXPECT_TRUE(wrongKey.questions.empty());
    impostorSettings.trustedHostKey = impostor.fingerprint();
    EXPECT_EQ(generate(impostorSettings).outcome, Outcome::Completed);
    EXPECT_NE(readFile(knownHosts).find(" ecdsa-sha2-nistp256 "), std::string::npos);

    impostorSettings.password = "wrong";
    for (int connections : {0, 4}) {
        impostorSettings.connections = connections;
        const int before = impostor.failedLogins();
        Generation wrongPassword = generate(impostorSettings);
        EXPECT_EQ(wrongPassword.failure.kind, FailureKind::LoginRefused);
        EXPECT_EQ(impostor.failedLogins() - before, 1) << "one refused login, not one per connection";
    }

#ifndef _WIN32
    // A FIFO where the file should be is refused, naming it, not waited on.
    std::filesystem::remove(knownHosts);
    ASSERT_EQ(mkfifo(knownHosts.c_str(), 0600), 0);
    Generation fifo = generate(settings);
    EXPECT_EQ(fifo.outcome, Outcome::Failed);
    EXPECT_NE(fifo.reason.find(knownHosts.string() + " is not a regular file"), std::string::npos) << fifo.reason;
#endif
}

}  // namespace
