#include "TestServer.h"

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "TempTree.h"

#ifndef QUILLOMAR_TEST_SUPPORT_DIR
#error "QUILLOMAR_TEST_SUPPORT_DIR must name tests/support"
#endif

#ifndef _WIN32
namespace {

int freeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool accepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

#endif  // !_WIN32

TestServer::TestServer(const std::string& root) : TestServer(root, Options{}) {}

TestServer::TestServer(const std::string& root, const Options& options) {
    if (options.kind == Kind::Vsftpd)
        startVsftpd(root, options);
    else if (options.kind == Kind::Pyftpdlib)
        startPyftpdlib(root, options);
    else if (options.kind == Kind::Hostile)
        startHostile(options);
    else if (options.kind == Kind::Sftp)
        startSftp(root, options);
    else if (options.kind == Kind::Nginx)
        startNginx(root, options);
    else
        startOtherMake(root, options);
}

const char* TestServer::name(Kind kind) {
    switch (kind) {
        case Kind::Pyftpdlib: return "pyftpdlib";
        case Kind::Vsftpd: return "vsftpd";
        case Kind::Proftpd: return "proftpd";
        case Kind::Pureftpd: return "pureftpd";
        case Kind::Inetutils: return "inetutils";
        case Kind::Twisted: return "twisted";
        case Kind::Hostile: return "hostile";
        case Kind::Sftp: return "sftp";
        case Kind::Nginx: return "nginx";
    }
    return "?";
}

TestServer::~TestServer() { kill(); }

std::string TestServer::host() const { return scheme_ + "127.0.0.1:" + std::to_string(port_); }

std::string TestServer::webAddress() const {
    return (scheme_.empty() ? "http://" : "https://") + std::string("127.0.0.1:") + std::to_string(port_);
}

std::string TestServer::caFile() const { return configDir_ ? (configDir_->path() / "ca.pem").string() : ""; }

#ifndef _WIN32
void TestServer::spawn(std::vector<std::string> args, int stdoutFd) {
    int in[2];
    if (pipe(in) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        setpgid(0, 0);  // so that kill() ends the server's children too
        dup2(in[0], 0);
        if (stdoutFd >= 0) dup2(stdoutFd, 1);
        ::close(in[0]);
        ::close(in[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(in[0]);
    stdinFd_ = in[1];
}

#endif  // !_WIN32

std::vector<std::string> TestServer::pyftpdlibArgs(const std::string& root, const Options& options) {
    std::vector<std::string> args = {"/usr/bin/python3", std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/ftpd.py",
                                     "--root", root, "--user", options.user, "--password", options.password,
                                     "--order", options.order};
    if (options.readOnly) args.push_back("--readonly");
    if (options.replyDelayMs > 0) {
        args.push_back("--reply-delay");
        args.push_back(std::to_string(options.replyDelayMs));
    }
    if (options.noMlsd) args.push_back("--no-mlsd");
    if (options.bareList) args.push_back("--bare-list");
    if (options.maxLogins > 0) {
        args.push_back("--max-logins");
        args.push_back(std::to_string(options.maxLogins));
    }
    if (!options.home.empty()) {
        args.push_back("--home");
        args.push_back(options.home);
    }
    for (const auto& quirk : options.quirks) {
        args.push_back("--quirk");
        args.push_back(quirk);
    }
    return args;
}

#ifndef _WIN32
void TestServer::startPyftpdlib(const std::string& root, const Options& options) {
    user_ = options.user;
    password_ = options.password;
    configDir_ = std::make_unique<TempTree>();
    auto args = pyftpdlibArgs(root, options);
    args.insert(args.end(), {"--log", (configDir_->path() / "commands.log").string()});
    startScript(args);
}

void TestServer::startOtherMake(const std::string& root, const Options& options) {
    user_ = options.user;
    password_ = options.password;
    gentleStop_ = true;
    std::vector<std::string> args = {"/usr/bin/python3", std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/../compat/ftpservers.py",
                                     "--kind", name(options.kind), "--root", root, "--user", options.user,
                                     "--password", options.password};
    if (options.maxLogins > 0) args.insert(args.end(), {"--max-logins", std::to_string(options.maxLogins)});
    for (const auto& quirk : options.quirks) args.insert(args.end(), {"--quirk", quirk});
    startScript(args);
}

void TestServer::startHostile(const Options& options) {
    configDir_ = std::make_unique<TempTree>();
    startScript({"/usr/bin/python3", std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/../hostile/hostile_ftpd.py", "--case",
                 options.hostileCase, "--log", (configDir_->path() / "commands.log").string()});
}

void TestServer::startSftp(const std::string& root, const Options& options) {
    user_ = options.user;
    password_ = options.password;
    scheme_ = "sftp://";
    configDir_ = std::make_unique<TempTree>();
    const std::string key = options.hostKeyFile.empty() ? (configDir_->path() / "host_key").string() : options.hostKeyFile;
    std::vector<std::string> args = {"/usr/bin/python3", std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/sftpd.py",
                                     "--root", root, "--user", options.user, "--password", options.password,
                                     "--host-key", key, "--log", (configDir_->path() / "commands.log").string()};
    if (!options.home.empty()) args.insert(args.end(), {"--home", options.home});
    if (options.posixRename) args.push_back("--posix-rename");
    if (options.openSshFiles) args.push_back("--openssh");
    if (options.duplicateNames) args.push_back("--duplicate-names");
    if (!options.endless.empty()) args.insert(args.end(), {"--endless", options.endless});
    if (options.sftpVersion != 3) args.insert(args.end(), {"--sftp-version", std::to_string(options.sftpVersion)});
    startScript(args);
}

std::string TestServer::receivedCommands() const {
    return configDir_ ? readFile(configDir_->path() / "commands.log") : std::string();
}

int TestServer::failedLogins() const {
    const std::string log = receivedCommands();
    int count = 0;
    for (size_t at = log.find("login-failed "); at != std::string::npos; at = log.find("login-failed ", at + 1)) ++count;
    return count;
}

std::string TestServer::uploadedFiles() const {
    return configDir_ ? readFile(configDir_->path() / "commands.log.files") : std::string();
}

// Starts a server script that prints "PORT <n>" once it listens.
void TestServer::startScript(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    spawn(args, out[1]);
    ::close(out[1]);
    FILE* reader = fdopen(out[0], "r");
    char line[256] = {};
    bool ok = reader && fgets(line, sizeof line, reader) && std::sscanf(line, "PORT %d", &port_) == 1;
    if (reader) fclose(reader);
    if (const char* fingerprint = std::strstr(line, "SHA256:")) fingerprint_.assign(fingerprint, std::strcspn(fingerprint, " \r\n"));
    if (!ok) {
        kill();
        throw std::runtime_error("test FTP server did not start");
    }
}

// nginx in the foreground with a configuration of its own, never as a
// service: one process, logs and temporary files in its own folder.
void TestServer::startNginx(const std::string& root, const Options& options) {
    namespace fs = std::filesystem;
    configDir_ = std::make_unique<TempTree>();
    port_ = freeLoopbackPort();
    const fs::path dir = configDir_->path();
    std::string listen = "listen 127.0.0.1:" + std::to_string(port_);
    if (options.tls == "h2") {
        const std::string command =
            "/usr/bin/python3 " + std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/make_certs.py '" + configDir_->str() + "'";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("no test certificates");
        listen += " ssl http2;\n    ssl_certificate " + (dir / "good.pem").string() + ";\n    ssl_certificate_key " +
                  (dir / "good.key").string();
        scheme_ = "https://";
    }
    std::ofstream(dir / "nginx.conf")
        << "daemon off;\nmaster_process off;\npid " << (dir / "nginx.pid").string() << ";\nerror_log "
        << (dir / "error.log").string() << ";\nevents {}\nhttp {\n  include /etc/nginx/mime.types;\n"
        << "  default_type application/octet-stream;\n  access_log off;\n"
        << "  client_body_temp_path " << dir.string() << ";\n  proxy_temp_path " << dir.string() << ";\n"
        << "  fastcgi_temp_path " << dir.string() << ";\n  uwsgi_temp_path " << dir.string() << ";\n"
        << "  scgi_temp_path " << dir.string() << ";\n"
        << "  server {\n    " << listen << ";\n    root " << root << ";\n" << options.webConfig << "\n  }\n}\n";
    spawn({"/usr/sbin/nginx", "-p", dir.string(), "-c", (dir / "nginx.conf").string()}, -1);
    for (int i = 0; i < 100; ++i) {
        if (accepts(port_)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
    throw std::runtime_error("nginx did not start");
}

void TestServer::startVsftpd(const std::string& root, const Options& options) {
    user_ = "anonymous";
    password_ = "test@example.com";
    // vsftpd serves anonymous users as an unprivileged user after chroot.
    namespace fs = std::filesystem;
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories("/var/run/vsftpd/empty");
    configDir_ = std::make_unique<TempTree>();
    port_ = freeLoopbackPort();
    auto config = configDir_->path() / "vsftpd.conf";
    std::ofstream(config) << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << port_
                          << "\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root
                          << "\nlocal_enable=NO\nwrite_enable=NO\npasv_enable=YES\npasv_address=127.0.0.1\n"
                             "secure_chroot_dir=/var/run/vsftpd/empty\nbackground=NO\nseccomp_sandbox=NO\n"
                             "xferlog_enable=NO\n";
    if (!options.writableFolder.empty()) {
        // Anonymous uploads (and renames over an old file) into that folder only.
        fs::permissions(fs::path(root) / options.writableFolder, fs::perms::all);
        std::ofstream(config, std::ios::app) << "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
                                                "anon_umask=022\n";
    }
    if (!options.tls.empty()) {
        std::string command = "/usr/bin/python3 " + std::string(QUILLOMAR_TEST_SUPPORT_DIR) + "/make_certs.py '" +
                              configDir_->str() + "'";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("no test certificates");
        const std::string stem = (configDir_->path() / options.certificate).string();
        std::ofstream(config, std::ios::app)
            << "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
               "ssl_ciphers=HIGH\nrsa_cert_file=" << stem << ".pem\nrsa_private_key_file=" << stem << ".key\n"
            << (options.tls == "implicit" ? "implicit_ssl=YES\n" : "");
        scheme_ = options.tls == "implicit" ? "ftps://" : "ftpes://";
    }
    spawn({"/usr/sbin/vsftpd", config.string()}, -1);
    for (int i = 0; i < 100; ++i) {
        if (accepts(port_)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
    throw std::runtime_error("vsftpd did not start");
}

void TestServer::kill() {
    if (pid_ > 0 && stdinFd_ >= 0 && gentleStop_) {
        // Closing its input lets a launcher clean up after its server.
        ::close(stdinFd_);
        stdinFd_ = -1;
        for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
}
#endif  // !_WIN32
