#include "remote/sftp/KnownHosts.h"

#include <libssh2.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>

#include "remote/sftp/SshWire.h"
#include "util/Ascii.h"
#include "util/SmallFile.h"
#include "util/Base64.h"
#include "util/FileReplace.h"
#include "util/Lines.h"
#include "util/Utf8Path.h"

namespace known_hosts {
namespace {

std::mutex fileMutex;  // one writer at a time within the process

int keyTypeMask(int hostKeyType) {
    switch (hostKeyType) {
        case LIBSSH2_HOSTKEY_TYPE_RSA: return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
        case LIBSSH2_HOSTKEY_TYPE_DSS: return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
        case LIBSSH2_HOSTKEY_TYPE_ED25519: return LIBSSH2_KNOWNHOST_KEY_ED25519;
        default: return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
}

// The key's algorithm name, which the key blob begins with.
std::string keyTypeName(const std::string& blob) {
    size_t at = 0;
    std::string name;
    return ssh_wire::getString(blob, at, name) ? name : std::string();
}

std::string hostKey(LIBSSH2_SESSION* session, int* type = nullptr) {
    size_t length = 0;
    int keyType = 0;
    const char* key = libssh2_session_hostkey(session, &length, &keyType);
    if (type) *type = keyType;
    return key ? std::string(key, length) : std::string();
}

// OpenSSH writes host names in lower case.
std::string hostName(const std::string& host, int port) {
    const std::string name = lowerAscii(host);
    return port == 22 ? name : "[" + name + "]:" + std::to_string(port);
}

}  // namespace

Verdict check(LIBSSH2_SESSION* session, const std::string& fileText, const std::string& host, int port) {
    int type = 0;
    const std::string key = hostKey(session, &type);
    LIBSSH2_KNOWNHOSTS* hosts = libssh2_knownhost_init(session);
    if (!hosts) return Verdict::Unknown;
    const std::string encoded = base64::encode(key);
    bool revoked = false;
    for (const std::string& line : splitLines(fileText)) {
        // "@revoked hosts type key": that key is never trusted, for any host.
        std::istringstream fields(line);
        std::string marker, patterns, keyType, keyText;
        if (fields >> marker >> patterns >> keyType >> keyText && marker == "@revoked" && keyText == encoded)
            revoked = true;
        // Lines libssh2 cannot read (markers, other key types) are left out.
        if (!line.empty() && line[0] != '#')
            libssh2_knownhost_readline(hosts, line.c_str(), line.size(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    // On another port than 22 only "[host]:port" lines count, as OpenSSH
    // keeps them (libssh2 would fall back to the plain host's line): another
    // server may well answer there.
    const std::string name = port == 22 ? lowerAscii(host) : "[" + lowerAscii(host) + "]:" + std::to_string(port);
    const int plain = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW;
    int result = libssh2_knownhost_checkp(hosts, name.c_str(), -1, key.data(), key.size(),
                                          plain | keyTypeMask(type), nullptr);
    // No key of this type: any key of another type for the host means it changed.
    if (result == LIBSSH2_KNOWNHOST_CHECK_NOTFOUND)
        result = libssh2_knownhost_checkp(hosts, name.c_str(), -1, key.data(), key.size(), plain, nullptr);
    libssh2_knownhost_free(hosts);
    if (revoked) return Verdict::Changed;
    if (result == LIBSSH2_KNOWNHOST_CHECK_MATCH) return Verdict::Known;
    return result == LIBSSH2_KNOWNHOST_CHECK_MISMATCH ? Verdict::Changed : Verdict::Unknown;
}

std::string fingerprint(LIBSSH2_SESSION* session) {
    const char* digest = libssh2_hostkey_hash(session, LIBSSH2_HOSTKEY_HASH_SHA256);
    return digest ? "SHA256:" + base64::encode(std::string(digest, 32), false) : std::string();
}

std::string lineFor(LIBSSH2_SESSION* session, const std::string& host, int port) {
    const std::string key = hostKey(session);
    return hostName(host, port) + " " + keyTypeName(key) + " " + base64::encode(key);
}

bool read(const std::string& file, std::string& text, std::string& error) {
    return readSmallFile(file, kMaxBytes, text, error);
}

bool add(const std::string& file, const std::string& line, std::string& error) {
    std::lock_guard<std::mutex> lock(fileMutex);
    std::string text;
    if (!read(file, text, error)) return false;  // never rewritten without what it holds
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += line + "\n";
    if (replaceFile(file, text)) return true;
    error = "cannot write " + file;
    return false;
}

bool File::check(LIBSSH2_SESSION* session, const std::string& host, int port, Verdict& verdict,
                 std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_pair(hostName(host, port), hostKey(session));
    auto known = verdicts_.find(key);
    if (known != verdicts_.end()) {
        verdict = known->second;
        return true;
    }
    std::string text;
    if (!path_.empty() && !read(path_, text, error)) return false;
    verdict = known_hosts::check(session, text, host, port);
    verdicts_[key] = verdict;
    return true;
}

bool File::trust(LIBSSH2_SESSION* session, const std::string& host, int port, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    verdicts_[std::make_pair(hostName(host, port), hostKey(session))] = Verdict::Known;
    return path_.empty() || add(path_, lineFor(session, host, port), error);
}

}  // namespace known_hosts
