#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;

// SSH host keys the user trusts, in a file of OpenSSH's known_hosts form
// ("host type key" lines, "[host]:port" for ports other than 22; hashed
// names are read too). Lines this program cannot read are kept as they are.
namespace known_hosts {

enum class Verdict {
    Known,    // the key is the one trusted for this host
    Unknown,  // no key is trusted for this host
    Changed,  // the host has another key in the file, or this key is
              // marked @revoked: never trusted silently
};

// The session's host key against the file's text. A host trusted with a
// key of another type counts as changed, not unknown: a first-use question
// must never stand in for a key that changed.
Verdict check(LIBSSH2_SESSION* session, const std::string& fileText, const std::string& host, int port);

// The session's host key as ssh-keygen -l prints it: "SHA256:" and the
// digest in base64 without padding.
std::string fingerprint(LIBSSH2_SESSION* session);

// The file's line trusting the session's host key for host and port.
std::string lineFor(LIBSSH2_SESSION* session, const std::string& host, int port);

// The file's text (empty when it does not exist). False, with an error
// naming the file, when something else stands there (a folder, a FIFO,
// a device) or it is larger than any known_hosts file: it is never
// waited on or read without bound.
bool read(const std::string& file, std::string& text, std::string& error);
constexpr std::uintmax_t kMaxBytes = 64u << 20;

// Adds the line to the file, keeping every line it holds (the whole file
// rewritten beside and renamed, so a failure loses nothing). Safe to call
// from several threads of the process.
bool add(const std::string& file, const std::string& line, std::string& error);

// The file as one run's connections share it: read and checked once per
// host, port and key (a large file would otherwise be read and parsed again
// by every connection), and kept up to date as keys are trusted. Safe to
// use from the run's threads.
class File {
public:
    explicit File(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // The session's host key against the file. False, with an error naming
    // the file, when it cannot be read.
    bool check(LIBSSH2_SESSION* session, const std::string& host, int port, Verdict& verdict, std::string& error);
    // Trusts the session's host key from now on: for the rest of the run,
    // and in the file (false, with an error, when it could not be written).
    bool trust(LIBSSH2_SESSION* session, const std::string& host, int port, std::string& error);

private:
    std::string path_;
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Verdict> verdicts_;  // by "[host]:port" and key
};

}  // namespace known_hosts
