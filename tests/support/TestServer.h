#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// A real FTP server (pyftpdlib) over a folder, on a free loopback port, for
// the lifetime of the object.
class TestServer {
public:
    struct Options {
        std::string user = "user";
        std::string password = "secret";
        bool readOnly = false;
        bool noMlsd = false;
        int maxLogins = 0;
        std::string home;  // login folder below the root, e.g. "/home/u"
    };

    explicit TestServer(const std::string& root);
    TestServer(const std::string& root, const Options& options);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>", as typed into the host field.
    std::string host() const;
    // Ends the server at once, as a crash would.
    void kill();

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int port_ = 0;
};
