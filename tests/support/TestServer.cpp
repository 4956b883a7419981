#include "TestServer.h"

#include <csignal>
#include <cstdio>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

#ifndef QUILLOMAR_TEST_SUPPORT_DIR
#error "QUILLOMAR_TEST_SUPPORT_DIR must name tests/support"
#endif

TestServer::TestServer(const std::string& root) : TestServer(root, Options{}) {}

TestServer::TestServer(const std::string& root, const Options& options) {
    std::vector<std::string> args = {"/usr/bin/python3", std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/ftpd.py",
                                     "--root", root, "--user", options.user, "--password", options.password};
    if (options.readOnly) args.push_back("--readonly");
    if (options.noMlsd) args.push_back("--no-mlsd");
    if (options.maxLogins > 0) {
        args.push_back("--max-logins");
        args.push_back(std::to_string(options.maxLogins));
    }
    if (!options.home.empty()) {
        args.push_back("--home");
        args.push_back(options.home);
    }

    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        ::close(in[0]);
        ::close(in[1]);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];

    FILE* reader = fdopen(out[0], "r");
    char line[64] = {};
    bool ok = reader && fgets(line, sizeof line, reader) && std::sscanf(line, "PORT %d", &port_) == 1;
    if (reader) fclose(reader);
    if (!ok) {
        kill();
        throw std::runtime_error("test FTP server did not start");
    }
}

TestServer::~TestServer() { kill(); }

std::string TestServer::host() const { return "127.0.0.1:" + std::to_string(port_); }

void TestServer::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
}
