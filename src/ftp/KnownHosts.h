#pragma once

#include <cstdint>
#include <string>

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

}  // namespace known_hosts
