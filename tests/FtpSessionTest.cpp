#include <gtest/gtest.h>

#include <curl/curl.h>

#include <algorithm>

#include "TempTree.h"
#include "TestServer.h"
#include "remote/ftp/FtpSession.h"

namespace {

std::vector<std::string> namesOf(const NameList& list) {
    std::vector<std::string> names;
    for (const auto& e : list) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

class FtpSessionTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        tree.file("index.html");
        tree.file("sub/page.htm");
        tree.folder("empty");
        tree.file("bad\nname.html");
        TestServer::Options options;
        options.noMlsd = GetParam();
        server = std::make_unique<TestServer>(tree.str(), options);
    }
    TempTree tree;
    std::unique_ptr<TestServer> server;
};

TEST_P(FtpSessionTest, ListsChangesAndReportsTheFolder) {
    FtpSession session;
    ASSERT_EQ(session.connect(server->host(), "user", "secret"), 1);
    std::string path = "untouched";
    ASSERT_EQ(session.currentDirectory(path), 0);
    EXPECT_EQ(path, "/");

    NameList names;
    EXPECT_EQ(session.listNames(names), 3);  // the name with a line break is dropped
    EXPECT_EQ(namesOf(names), (std::vector<std::string>{"empty", "index.html", "sub"}));
    for (const auto& e : names) {
        EXPECT_EQ(e.kind, e.name == "index.html" ? EntryKind::File : EntryKind::Folder) << e.name;
    }

    EXPECT_EQ(session.currentFolderId().empty(), GetParam()) << "identity comes with MLST only";
    EXPECT_EQ(session.changeDirectory("sub"), 1);
    ASSERT_EQ(session.currentDirectory(path), 0);
    EXPECT_EQ(path, "/sub");
    NameList sub = {{"kept", EntryKind::Unknown, "", "", {}}};
    EXPECT_EQ(session.listNames(sub), 1);  // appends
    EXPECT_EQ(namesOf(sub), (std::vector<std::string>{"kept", "page.htm"}));

    EXPECT_EQ(session.changeDirectory("no-such-folder"), 0);
    EXPECT_FALSE(session.connectionLost());
    ASSERT_EQ(session.currentDirectory(path), 0);
    EXPECT_EQ(path, "/sub") << "a failed change leaves the folder as it was";

    EXPECT_EQ(session.changeDirectory("../empty"), 1);
    NameList empty;
    EXPECT_EQ(session.listNames(empty), 0);
    EXPECT_TRUE(empty.empty());

    EXPECT_EQ(session.changeDirectory("/sub"), 1);
    ASSERT_EQ(session.currentDirectory(path), 0);
    EXPECT_EQ(path, "/sub");
    EXPECT_EQ(session.close(), 1);
    EXPECT_EQ(session.close(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpSessionTest, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "WithoutMlst" : "WithMlst"; });

TEST(FtpSession, UnreadableListLinesFallBackToMlsd) {
    TempTree tree;
    tree.file("index.html");
    tree.folder("sub");
    TestServer::Options options;
    options.bareList = true;
    TestServer server(tree.str(), options);
    FtpSession session;
    ASSERT_EQ(session.connect(server.host(), "user", "secret"), 1);
    for (int round = 0; round < 2; ++round) {
        NameList names;
        EXPECT_EQ(session.listNames(names), 2) << round;
        EXPECT_EQ(namesOf(names), (std::vector<std::string>{"index.html", "sub"})) << round;
    }
}

TEST(FtpSession, LoginFailuresLeaveNothingOpen) {
    TempTree tree;
    TestServer server(tree.str());
    struct {
        std::string host, user, password;
    } cases[] = {
        {server.host(), "user", "wrong"},
        {server.host(), "nobody", "secret"},
        {"no-such-host.invalid", "user", "secret"},
        {"127.0.0.1:1", "user", "secret"},
        {"bad host", "user", "secret"},
        {server.host(), "user", "secret\r\nDELE x"},
    };
    for (const auto& c : cases) {
        FtpSession session;
        EXPECT_EQ(session.connect(c.host, c.user, c.password), 0) << c.host << " " << c.user;
        EXPECT_EQ(session.close(), 0) << "no handle may stay open";
        std::string path = "kept";
        EXPECT_EQ(session.currentDirectory(path), -1);
        EXPECT_EQ(path, "kept");
    }
}

TEST(FtpSession, LoginFolderIsWhereTheServerPutsUs) {
    TempTree tree;
    tree.file("home/u/public_html/index.html");
    TestServer::Options options;
    options.home = "/home/u";
    TestServer server(tree.str(), options);
    FtpSession session;
    ASSERT_EQ(session.connect(server.host(), "user", "secret"), 1);
    std::string path;
    ASSERT_EQ(session.currentDirectory(path), 0);
    EXPECT_EQ(path, "/home/u");
    ASSERT_EQ(session.changeDirectory("public_html"), 1);
    ASSERT_EQ(session.currentDirectory(path), 0);
    EXPECT_EQ(path, "/home/u/public_html");
}

TEST(FtpSession, PutFileTransferTypes) {
    TempTree tree, local;
    tree.folder("www");
    local.file("sitemap.xml", "<a>\r\n<b>\r\n");
    TestServer server(tree.str());
    FtpSession session;
    ASSERT_EQ(session.connect(server.host(), "user", "secret"), 1);
    ASSERT_EQ(session.changeDirectory("www"), 1);
    auto localFile = (local.path() / "sitemap.xml").string();

    // Binary keeps the bytes; ASCII type lets the server store its own line ends.
    EXPECT_EQ(session.putFile(localFile, "binary.xml", 1), 1);
    EXPECT_EQ(readFile(tree.path() / "www/binary.xml"), "<a>\r\n<b>\r\n");
    EXPECT_EQ(session.putFile(localFile, "ascii.xml", 2), 1);
    EXPECT_EQ(readFile(tree.path() / "www/ascii.xml"), "<a>\n<b>\n");

    EXPECT_EQ(session.putFile((local.path() / "missing.xml").string(), "x.xml", 1), -1);
    EXPECT_EQ(session.putFile(localFile, "../escape.xml", 1), -1);
    EXPECT_EQ(readFile(tree.path() / "escape.xml"), "<missing>");
}

// A file read whole, cut short at its limit, or missing; the session goes
// on in its folder either way, on both servers.
TEST(FtpSession, ReadFileWholeCutShortOrMissing) {
    TempTree tree;
    tree.file("www/robots.txt", std::string(100000, 'a') + "\n");
    tree.file("www/page.html");
#ifdef _WIN32
    const TestServer::Kind kinds[] = {TestServer::Kind::Pyftpdlib};  // vsftpd is tested on Linux
#else
    const TestServer::Kind kinds[] = {TestServer::Kind::Pyftpdlib, TestServer::Kind::Vsftpd};
#endif
    for (auto kind : kinds) {
        TestServer::Options options;
        options.kind = kind;
        TestServer server(tree.str(), options);
        FtpSession session;
        ASSERT_EQ(session.connect(server.host(), server.user(), server.password()), 1);
        ASSERT_EQ(session.changeDirectory("www"), 1);
        std::string text;
        EXPECT_EQ(session.readFile("robots.txt", text, 1 << 20), 1);
        // Read in ASCII type: the line ends as the client's platform has them.
        EXPECT_TRUE(text == std::string(100000, 'a') + "\n" || text == std::string(100000, 'a') + "\r\n")
            << text.size();
        EXPECT_EQ(session.readFile("robots.txt", text, 1000), 1);
        EXPECT_EQ(text, std::string(1000, 'a')) << "what was read before the limit is kept";
        EXPECT_EQ(session.readFile("missing.txt", text, 1000), 0);
        EXPECT_FALSE(session.connectionLost());
        NameList names;
        EXPECT_EQ(session.listNames(names), 2) << "still usable, still in its folder";
    }
}

// The network layer this build links speaks every protocol the host field
// may name, over TLS (on Windows: the static libraries built for it).
TEST(FtpSession, NetworkLayerSpeaksEveryProtocolWeUse) {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    std::vector<std::string> protocols;
    for (const char* const* p = info->protocols; *p; ++p) protocols.push_back(*p);
    for (const char* wanted : {"ftp", "ftps", "sftp"})
        EXPECT_NE(std::find(protocols.begin(), protocols.end(), wanted), protocols.end()) << wanted;
    ASSERT_NE(info->ssl_version, nullptr);
    EXPECT_NE(std::string(info->ssl_version).find("OpenSSL"), std::string::npos) << info->ssl_version;
    ASSERT_NE(info->libssh_version, nullptr);
}

TEST(FtpSession, RefusedUploadIsAFailureButNotALostConnection) {
    TempTree tree, local;
    local.file("sitemap.xml", "x");
    TestServer::Options options;
    options.readOnly = true;
    TestServer server(tree.str(), options);
    FtpSession session;
    ASSERT_EQ(session.connect(server.host(), "user", "secret"), 1);
    EXPECT_EQ(session.putFile((local.path() / "sitemap.xml").string(), "sitemap.xml", 2), -1);
    EXPECT_FALSE(session.connectionLost());
    EXPECT_EQ(readFile(tree.path() / "sitemap.xml"), "<missing>");
}

TEST(FtpSession, KilledServerIsALostConnection) {
    TempTree tree;
    tree.folder("sub");
    TestServer server(tree.str());
    FtpSession session;
    ASSERT_EQ(session.connect(server.host(), "user", "secret"), 1);
    server.kill();
    NameList names;
    EXPECT_EQ(session.listNames(names), 0);
    EXPECT_TRUE(session.connectionLost());
    EXPECT_EQ(session.changeDirectory("sub"), 0);
    EXPECT_TRUE(session.connectionLost());
}

}  // namespace
