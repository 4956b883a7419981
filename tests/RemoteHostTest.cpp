#include <gtest/gtest.h>

#include "remote/RemoteHost.h"

namespace {

struct HostCase {
    const char* typed;
    bool valid;
    const char* host;
    int port;
    const char* url;
};

TEST(RemoteHost, ParsesTypedHostTexts) {
    const HostCase cases[] = {
        {"ftp.example.com", true, "ftp.example.com", 21, "ftp://ftp.example.com:21"},
        {"127.0.0.1:2121", true, "127.0.0.1", 2121, "ftp://127.0.0.1:2121"},
        {"[::1]:2121", true, "::1", 2121, "ftp://[::1]:2121"},
        {"[::1]", true, "::1", 21, "ftp://[::1]:21"},
        {"::1", true, "::1", 21, "ftp://[::1]:21"},
        {"FTP://example.com/", true, "example.com", 21, "ftp://example.com:21"},
        {"ftpes://example.com", true, "example.com", 21, "ftp://example.com:21"},  // TLS asked for at login
        {"FTPS://[::1]", true, "::1", 990, "ftps://[::1]:990"},
        {"ftps://example.com:2990/", true, "example.com", 2990, "ftps://example.com:2990"},
        {"ftpes://", false, "", 0, ""},
        {"sftp://ssh.example.jp", true, "ssh.example.jp", 22, "sftp://ssh.example.jp:22"},
        {"SFTP://[::1]:2222", true, "::1", 2222, "sftp://[::1]:2222"},
        {"ftps://ftp://example.com", false, "", 0, ""},
        {"ftp://ftps://example.com", false, "", 0, ""},
        {"http://example.com", false, "", 0, ""},
        {"", false, "", 0, ""},
        {"example.com:", false, "", 0, ""},
        {"example.com:0", false, "", 0, ""},
        {"example.com:65536", false, "", 0, ""},
        {"example.com:21x", false, "", 0, ""},
        {"[::1", false, "", 0, ""},
        {"[::1]x", false, "", 0, ""},
        {"user@example.com", false, "", 0, ""},
        {"exa mple.com", false, "", 0, ""},
        {"example.com/path", false, "", 0, ""},
    };
    for (const auto& c : cases) {
        auto parsed = RemoteHost::parse(c.typed);
        ASSERT_EQ(parsed.has_value(), c.valid) << c.typed;
        if (!parsed) continue;
        EXPECT_EQ(parsed->host, c.host) << c.typed;
        EXPECT_EQ(parsed->port, c.port) << c.typed;
        EXPECT_EQ(parsed->urlPrefix(), c.url) << c.typed;
    }
}

}  // namespace
