#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

#include "Commands.h"
#include "TempTree.h"
#include "cli/ConsoleObserver.h"
#include "TestServer.h"

namespace {

using CliRun = CommandRun;  // standard output and error together

// Runs the real quillomar-cli in folder with the given arguments.
CliRun runCli(const TempTree& folder, const std::string& args, const std::string& environment = "") {
    std::string command = "cd '" + folder.str() + "' && env -u QUILLOMAR_PASSWORD " + environment + " '" +
                          QUILLOMAR_CLI_PATH + "' " + args + " 2>&1 </dev/null";
    return runCommand(command);
}

std::string settingsText(const std::string& host, const std::string& password, const std::string& flags = "chk1=0\nchk2=0\n") {
    return "[INI_SETTING]\nhost=" + host + "\nid=user\npswd=" + password + "\ndir=/www\nhttp=http://example.com\n" + flags;
}

TEST(Cli, OptionsHelpAndVersion) {
    TempTree dir;
    struct {
        const char* args;
        int exitCode;
        const char* saying;
    } cases[] = {
        {"--help", 0, "使い方: quillomar-cli"},
        {"--version", 0, "quillomar-cli 1.0.0.1\nCopyright (c) 2026 The Quillomar developers\nLicense: MIT\n"},
        {"--bogus", 2, "unknown option: --bogus"},
        {"--host", 2, "option --host needs a value"},
        {"--password secret", 2, "--password is not accepted"},
        {"--password=hunter2", 2, "--password is not accepted"},
        {"--passwordhunter2", 2, "--password is not accepted"},
        {"--connections 17", 2, "--connections takes a number from 0 to 16"},
        {"--connections=x", 2, "--connections takes a number from 0 to 16"},
    };
    for (const auto& c : cases) {
        auto run = runCli(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
        EXPECT_NE(run.output.find(c.saying), std::string::npos) << c.args << ": " << run.output;
        EXPECT_EQ(run.output.find("hunter2"), std::string::npos) << "a password is never repeated";
    }
    EXPECT_EQ(readFile(dir.path() / "SETTING.INI"), "<missing>") << "a wrong option touches nothing";
}

TEST(Cli, MissingValuesInTheDialogsOrderAndTheSettingsAreSavedFirst) {
    TempTree dir;
    auto run = runCli(dir, "");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "ホストを入力してください\n");
    EXPECT_EQ(readFile(dir.path() / "SETTING.INI"), "[INI_SETTING]\nhost=\nid=\npswd=\ndir=\nhttp=\nchk1=0\nchk2=0\n");

    dir.file("SETTING.INI", "[INI_SETTING]\nhost=h\nid=a\npswd=p\nchk1=2\n");
    run = runCli(dir, "");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "httpパスを入力してください\n");
    EXPECT_NE(readFile(dir.path() / "SETTING.INI").find("chk1=1\n"), std::string::npos)
        << "a stored 2 shows as a ticked box and is saved as 1";

    // Addresses need their scheme: www.example.jp/page.html is none.
    run = runCli(dir, "--base-url www.example.jp");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "httpパスは http:// または https:// で始めてください（例: https://www.example.jp）\n");
}

TEST(Cli, GeneratesFromTheSettingsFile) {
    TempTree site, dir;
    site.file("www/index.html");
    site.file("www/sub/p.php");
    TestServer server(site.str());
    // Host and account pasted with blanks around them: used without them,
    // kept as typed.
    const std::string pastedHost = "host=\" " + server.host() + "　\"\n";
    dir.file("SETTING.INI", "[INI_SETTING]\n" + pastedHost + "id=\"user \"\npswd=secret\ndir=/www\n"
                            "http=http://example.com\nchk1=0\nchk2=0\nconnections=0\n");
    auto run = runCli(dir, "");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(readFile(dir.path() / "SETTING.INI").find(pastedHost), std::string::npos);
    EXPECT_NE(run.output.find("FTP ファイル検索中…\nFTP リスト生成中…\nhttp://example.com\nhttp://example.com/sub\n更新完了 ("),
              std::string::npos)
        << run.output;
    EXPECT_NE(readFile(dir.path() / "sitemap.xml").find("<loc>http://example.com/sub/p.php</loc>"), std::string::npos);

    run = runCli(dir, "--quiet");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "") << "cron mails nothing for a run that succeeded";
}

TEST(Cli, OverridesAreForOneRunOnly) {
    TempTree site, dir, elsewhere;
    site.file("www/index.html");
    site.file("other/o.html");
    TestServer server(site.str());
    elsewhere.file("custom.ini", settingsText(server.host(), "wrong"));
    dir.file("pw.txt", "secret\r\nignored second line\n");
    auto run = runCli(dir, "--settings '" + (elsewhere.path() / "custom.ini").string() +
                               "' --password-file pw.txt --folder=/other --base-url https://example.org/ --mobile");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::string sitemap = readFile(dir.path() / "sitemap.xml");
    EXPECT_NE(sitemap.find("<loc>https://example.org/o.html</loc>\r\n\t\t<mobile:mobile/>"), std::string::npos)
        << sitemap;
    EXPECT_EQ(readFile(elsewhere.path() / "custom.ini"), settingsText(server.host(), "wrong"))
        << "overrides are not saved";
    EXPECT_EQ(readFile(dir.path() / "SETTING.INI"), "<missing>");

    run = runCli(dir, "--settings '" + (elsewhere.path() / "custom.ini").string() + "'", "QUILLOMAR_PASSWORD=secret");
    EXPECT_EQ(run.exitCode, 0) << run.output;

    run = runCli(dir, "--password-file missing.txt");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("cannot read the password file"), std::string::npos);
}

TEST(Cli, SitemapOptionsFromTheFileAndFlagsForOneRun) {
    TempTree site, dir;
    site.file("www/index.html");
    site.file("www/a.php");
    site.file("www/cgi-bin/form.cgi");
    TestServer server(site.str());
    const std::string ini = settingsText(server.host(), "secret") + "[SITEMAP_OPTIONS]\nrobots=1\nexclude=/cgi-bin\n";
    dir.file("SETTING.INI", ini);
    auto run = runCli(dir, "");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("summary: 2 pages, 1 folders, 0 left out by robots.txt, 1 left out by patterns, "
                              "0 unreadable folders, "),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("(no robots.txt could be read: nothing left out for it)"), std::string::npos);

    run = runCli(dir, "--no-robots --exclude '*.php' --extensions '.html;.php;.cgi' --gzip");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("summary: 2 pages, 2 folders, 0 left out by robots.txt, 1 left out by patterns"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("robots.txt could"), std::string::npos);
    EXPECT_NE(readFile(dir.path() / "sitemap-1.xml.gz"), "<missing>");
    EXPECT_EQ(readFile(dir.path() / "sitemap.xml").find("<urlset"), std::string::npos)
        << "the file of the last run does not linger: sitemap.xml is now the index";
    const std::string saved = readFile(dir.path() / "SETTING.INI");
    for (auto line : {"\nrobots=1\n", "\nexclude=/cgi-bin\n", "\ngzip=0\n", "\nextensions=\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << "flags are not saved: " << saved;
}

// Folders that could not be read make the run fail unless partial results
// are accepted; names are printed with their control bytes escaped.
TEST(Cli, UnreadableFoldersAndControlBytes) {
    TempTree site, dir;
    site.file("www/index.html");
    site.file("www/secret/hidden.html");
    site.file("www/\x1b]0;pwned\x07/p.html");
    TestServer::Options options;
    options.quirks = {"refuse-list:secret"};
    TestServer server(site.str(), options);
    dir.file("SETTING.INI", settingsText(server.host(), "secret"));
    for (const char* connections : {"0", "4"}) {
        auto run = runCli(dir, std::string("--connections ") + connections);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_NE(run.output.find("一覧を取得できなかったフォルダ: 1\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("一覧を取得できなかったフォルダ: /secret\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("may lack pages of 1 folders"), std::string::npos) << run.output;
        EXPECT_NE(readFile(dir.path() / "sitemap.xml").find("/p.html</loc>"), std::string::npos);
        run = runCli(dir, std::string("--allow-partial --connections ") + connections);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        if (std::string(connections) == "0") {
            EXPECT_NE(run.output.find("http://example.com/\\x1b]0;pwned\\x07\n"), std::string::npos) << run.output;
        }
        EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
    }
}

// Listings that never end, on every connection at once, and a large
// known_hosts file: the run stays under the memory ceiling the README
// states for 4 connections, and fails saying which folders it could not
// keep.
TEST(Cli, MemoryStaysUnderItsCeiling) {
    TempTree site, dir;
    site.file("www/index.html");
    for (const char* folder : {"a", "b", "c", "d"}) site.file(std::string("www/") + folder + "/endless/.keep");
    std::string hosts;
    for (int i = 0; hosts.size() < (11u << 20); ++i)
        hosts += "host" + std::to_string(i) + ".example.jp ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAI" +
                 std::string(43, static_cast<char>('A' + i % 26)) + "\n";
    dir.file("known_hosts", hosts);
    TestServer::Options options;
    options.kind = TestServer::Kind::Sftp;
    options.hostKeyFile = (dir.path() / "server_key").string();
    options.endless = "flood";
    TestServer server(site.str(), options);
    dir.file("SETTING.INI", settingsText(server.host(), "secret"));
    auto run = runCli(dir, "--connections 4 --trust-host-key " + server.fingerprint());
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("一覧を取得できなかったフォルダ: 4\n"), std::string::npos) << run.output;
#ifndef QUILLOMAR_SANITIZED
    EXPECT_LT(children.ru_maxrss, 400L * 1024) << "KiB at peak";
#endif
}

// What a server names reaches the terminal with every control escaped,
// C1 ones included, and Japanese text as it is.
TEST(Cli, ControlsAreEscapedOnTheTerminal) {
    struct {
        const char* raw;
        const char* shown;
    } cases[] = {
        {"plain/日本語", "plain/日本語"},
        {"\x1b]0;x\x07", "\\x1b]0;x\\x07"},
        {"a\x9b" "31mb", "a\\x9b31mb"},              // a raw C1 byte: CSI
        {"a\xc2\x9b" "31mb", "a\\xc2\\x9b31mb"},     // U+009B as UTF-8
        {"\xe3\x81", "\\xe3\\x81"},                   // a character cut short
        {"caf\xc3\xa9 \x7f", "caf\xc3\xa9 \\x7f"},
    };
    for (const auto& c : cases) EXPECT_EQ(ConsoleObserver::escapeControls(c.raw), c.shown) << c.shown;
}

// Bad local files end the run at once with exit 2, and nothing is written.
TEST(Cli, BadSettingsAndPasswordFiles) {
    TempTree dir;
    dir.file("garbage.ini", "[INI_SETTING]\nhost=h\nid=u\npswd=p\nhttp=x\n; \x81\x20\n");
    dir.folder("folder.ini");
    dir.file("pw.txt", "p\n");
    struct {
        const char* args;
        const char* saying;
    } cases[] = {
        {"--settings garbage.ini", "neither UTF-8 nor Shift-JIS"},
        {"--settings folder.ini", "not a regular file"},
        {"--settings /dev/zero", "not a regular file"},
        {"--settings garbage.ini --password-file pw.txt", "neither UTF-8 nor Shift-JIS"},
        {"--password-file /dev/zero", "cannot read the password file"},
        {"--password-file .", "cannot read the password file"},
    };
    for (const auto& c : cases) {
        auto run = runCli(dir, c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args << ": " << run.output;
        EXPECT_NE(run.output.find(c.saying), std::string::npos) << c.args << ": " << run.output;
    }
    EXPECT_EQ(readFile(dir.path() / "garbage.ini"), "[INI_SETTING]\nhost=h\nid=u\npswd=p\nhttp=x\n; \x81\x20\n");
    EXPECT_EQ(readFile(dir.path() / "sitemap.xml"), "<missing>");
}

// A run that finds no page, or less than half of the last completed run's
// (the log beside SETTING.INI holds it), never replaces the site's file.
TEST(Cli, UploadHeldBackWhenPagesVanish) {
    TempTree site, dir;
    for (auto name : {"a", "b", "c", "d"}) site.file(std::string("www/") + name + ".html");
    TestServer server(site.str());
    dir.file("SETTING.INI", settingsText(server.host(), "secret", "chk1=0\nchk2=1\n"));
    const std::string leaveThree = "--exclude a.html --exclude b.html --exclude c.html";
    struct {
        std::string args;
        int exitCode;
        const char* saying;
        bool uploaded;
    } runs[] = {
        {"", 0, "summary: 4 pages", true},
        {"--extensions '.htm；.php'", 1, "ページが1つも見つからなかったため", false},
        {leaveThree, 1, "前回 4 ページ、今回 1 ページ", false},
        {leaveThree + " --allow-shrink", 0, "summary: 1 pages", true},
    };
    std::string onServer;
    for (const auto& r : runs) {
        auto run = runCli(dir, r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.args << "\n" << run.output;
        EXPECT_NE(run.output.find(r.saying), std::string::npos) << r.args << "\n" << run.output;
        const std::string now = readFile(site.path() / "www" / "sitemap.xml");
        EXPECT_EQ(now != onServer, r.uploaded) << r.args;
        EXPECT_EQ(readFile(dir.path() / "sitemap.xml") != "<missing>", !r.uploaded) << "kept here when held back";
        onServer = now;
    }
    const std::string log = readFile(dir.path() / "quillomar.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
    EXPECT_NE(log.find("\tfailed\tpages=1\t"), std::string::npos) << log;
}

// Ctrl+C or SIGTERM stops a run as the stop button does: nothing written
// or uploaded, the shell's exit codes. What a killed run left under the
// program's own partial names goes at the next start, and nothing else.
TEST(Cli, SignalsStopTheRunAndLeftoversGoNextTime) {
    TempTree site, dir;
    for (int i = 0; i < 40; ++i) site.file("www/d" + std::to_string(i) + "/p.html");
    TestServer::Options slow;
    slow.replyDelayMs = 200;
    TestServer server(site.str(), slow);
    dir.file("SETTING.INI", settingsText(server.host(), "secret", "chk1=0\nchk2=1\n"));
    dir.file("sitemap.xml.0123abcd.part", "left by a killed run");
    dir.file("sitemap.xml.mine.part", "not a name of ours");
    for (auto [signal, exitCode] : {std::pair{"INT", 130}, {"TERM", 143}}) {
        const auto started = std::chrono::steady_clock::now();
        auto run = runCli(dir, "", std::string("timeout --preserve-status -s ") + signal + " 1.5");
        EXPECT_EQ(run.exitCode, exitCode) << signal << "\n" << run.output;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500)) << signal;
        EXPECT_TRUE(run.output.ends_with("中止しました\n")) << run.output;
        EXPECT_EQ(readFile(dir.path() / "sitemap.xml"), "<missing>");
        EXPECT_EQ(readFile(site.path() / "www/sitemap.xml"), "<missing>") << "nothing uploaded";
    }
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"SETTING.INI", "quillomar.log", "sitemap.xml.mine.part"}));
}

TEST(Cli, FailedGenerationExitsWithOneAndItsMessage) {
    TempTree site, dir;
    site.folder("www");
    TestServer server(site.str());
    // A wrong password costs one refused login, however many connections
    // would walk: hosts ban an address after a few.
    for (int connections : {0, 1, 4, 16}) {
        const int before = server.failedLogins();
        dir.file("SETTING.INI", settingsText(server.host(), "wrong") + "connections=" + std::to_string(connections) + "\n");
        auto run = runCli(dir, connections == 16 ? "--quiet" : "");  // quiet or not, a failure tells all
        EXPECT_EQ(run.exitCode, 1);
        // The message, then the server's reason for cron mail.
        EXPECT_EQ(run.output, "FTP ファイル検索中…\nFTPサーバへ接続できませんでした\n"
                              "アカウントまたはパスワードが違います。入力を確かめてください（失敗が続くとサーバに"
                              "接続を断られることがあります）。\n530 Authentication failed.\n");
        EXPECT_EQ(server.failedLogins() - before, 1) << connections << " connections";
    }
}

}  // namespace
