#pragma once

#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

class TempTree;

// A real FTP server over a folder, on a free loopback port, for the lifetime
// of the object: pyftpdlib, or vsftpd (anonymous, read-only) where a
// behaviour of that server is wanted, such as resolving linked folders, or
// for the compatibility tests ProFTPD, Pure-FTPd, GNU inetutils ftpd and
// Twisted's server (tests/compat/ftpservers.py; user, password and
// maxLogins apply to them).
class TestServer {
public:
    enum class Kind { Pyftpdlib, Vsftpd, Proftpd, Pureftpd, Inetutils, Twisted, Hostile, Sftp, Nginx };
    static const char* name(Kind kind);
    struct Options {
        Kind kind = Kind::Pyftpdlib;
        std::string user = "user";
        std::string password = "secret";
        bool readOnly = false;
        bool noMlsd = false;
        bool bareList = false;  // LIST answers with bare names
        int maxLogins = 0;
        std::string home;  // login folder below the root, e.g. "/home/u"
        std::string order = "sorted";  // listing order: "sorted", "reverse" or "disk"
        int replyDelayMs = 0;  // a slow server: waits this long before each command
        // ftpd.py --quirk values, e.g. "ls-args", "refuse-list:x"; for
        // other makes ftpservers.py's, e.g. "cp932".
        std::vector<std::string> quirks;
        std::string hostileCase;          // Kind::Hostile: tests/hostile/hostile_ftpd.py --case
        // Kind::Vsftpd: FTP over TLS, "explicit" (AUTH TLS) or "implicit",
        // with a certificate made for the test (tests/support/make_certs.py):
        // "good", "other" (another host's names), "expired" or "untrusted".
        std::string tls;
        std::string certificate = "good";
        std::string writableFolder;  // Kind::Vsftpd: a folder below the root that takes uploads
        // Kind::Sftp (tests/support/sftpd.py): the host key's file (made
        // when missing; empty: a fresh key), and whether the server offers
        // the rename that replaces (as OpenSSH's does).
        std::string hostKeyFile;
        bool posixRename = false;
        bool openSshFiles = false;  // OpenSSH's sftp-server serves the files
        int sftpVersion = 3;        // the version the server says it speaks (paramiko only)
        bool duplicateNames = false;  // every NAME reply sent twice (paramiko only)
        // Folders named "endless" never end (paramiko only): "trickle" (an
        // entry every 0.3 s), "empty" (empty NAME replies at once) or
        // "flood" (200 entries a reply, at once).
        std::string endless;
        // Kind::Nginx (a web server, HTTP/1.1; with tls "h2", HTTP/2 over
        // TLS with the "good" certificate): more lines of its server block.
        std::string webConfig;
    };

    explicit TestServer(const std::string& root);
    TestServer(const std::string& root, const Options& options);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    // Kind::Sftp: the host key's fingerprint ("SHA256:...").
    const std::string& fingerprint() const { return fingerprint_; }
    // Kind::Sftp: the files opened, renamed and removed, one per line.
    // Kind::Hostile: every command line the server received (CR, LF and NUL
    // inside a line shown as <CR>, <LF>, <NUL>), and the files uploaded to
    // it ("path size" lines).
    std::string receivedCommands() const;
    // pyftpdlib and Kind::Sftp: how many logins the server refused.
    int failedLogins() const;
    std::string uploadedFiles() const;

    // "127.0.0.1:<port>", as typed into the host field ("ftpes://..." or
    // "ftps://..." with TLS).
    std::string host() const;
    // With TLS: the test authority's certificate, for the client to trust.
    std::string caFile() const;
    // Kind::Nginx: "http://127.0.0.1:<port>" ("https://..." with TLS).
    std::string webAddress() const;
    // Ends the server at once, as a crash would (servers of other makes are
    // given a moment to clean up).
    void kill();

private:
    static std::vector<std::string> pyftpdlibArgs(const std::string& root, const Options& options);
    void spawn(std::vector<std::string> args, int stdoutFd);
    void startPyftpdlib(const std::string& root, const Options& options);
    void startScript(const std::vector<std::string>& args);
    void startOtherMake(const std::string& root, const Options& options);
    void startHostile(const Options& options);
    void startVsftpd(const std::string& root, const Options& options);
    void startNginx(const std::string& root, const Options& options);
    void startSftp(const std::string& root, const Options& options);

    std::unique_ptr<TempTree> configDir_;
    std::string user_;
    std::string password_;
    std::string scheme_;
    std::string fingerprint_;
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    bool gentleStop_ = false;  // a launcher that must clean up after its server
#ifdef _WIN32
    std::string stopFile_;  // deleting it ends the server
#endif
    int port_ = 0;
};
