#include "remote/sftp/SftpSession.h"

#include <algorithm>
#include <deque>
#include <fstream>

#include "remote/sftp/SftpNames.h"
#include "util/Utf8Path.h"

namespace {

using C = SftpConnection;

constexpr uint32_t kOpenRead = 0x1, kOpenWrite = 0x2, kOpenCreate = 0x8, kOpenTruncate = 0x10;
constexpr size_t kChunk = 32768;      // bytes a READ or WRITE carries
constexpr size_t kChunksInFlight = 16;

}  // namespace

int SftpSession::connect(const std::string& hostText, const std::string& account, const std::string& password) {
    close();
    lost_ = false;
    auto host = RemoteHost::parse(hostText);
    if (!host || host->security != RemoteHost::Security::Sftp) {
        lastError_ = "not an SFTP host: " + hostText;
        return 0;
    }
    if (account.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        lastError_ = "the account holds a line break or a NUL";
        return 0;
    }
    connection_.setOptions(options_);
    if (connection_.connect(*host, account, password) != 1) {
        lastError_ = connection_.lastError();
        return 0;
    }
    currentPath_ = connection_.loginFolder().empty() ? "/" : connection_.loginFolder();
    return 1;
}

std::string SftpSession::fullPath(const std::string& name) const {
    if (!name.empty() && name.front() == '/') return name;
    return currentPath_ == "/" ? "/" + name : currentPath_ + "/" + name;
}

bool SftpSession::lost() {
    lost_ = true;
    lastError_ = connection_.lastError();
    connection_.close();
    return false;
}

bool SftpSession::fail(const Reply& reply, const std::string& what) {
    lastError_ = what + ": " + (reply.type == C::kStatus ? reply.statusText() : "unexpected reply");
    return false;
}

bool SftpSession::request(C::Type type, const std::string& payload, const std::string& what, Reply& reply) {
    lost_ = false;
    if (!connection_.connected()) {
        lost_ = true;
        lastError_ = "not connected";
        return false;
    }
    if (!connection_.reply(connection_.send(type, payload, what), reply)) return lost();
    return true;
}

int SftpSession::changeDirectory(const std::string& path) {
    if (!connection_.connected()) return lost(), 0;
    lost_ = false;
    const std::string target = fullPath(path);
    // Where the folder really is, and whether it is one, in one round trip.
    const uint32_t real = connection_.send(C::kRealpath, ssh_wire::stringPayload(target), "REALPATH " + target);
    const uint32_t stat = connection_.send(C::kStat, ssh_wire::stringPayload(target), "STAT " + target);
    Reply resolved, attributes;
    if (!connection_.reply(real, resolved) || !connection_.reply(stat, attributes)) return lost(), 0;
    if (resolved.type != C::kName) return fail(resolved, "cannot find " + target), 0;
    if (attributes.type != C::kAttrs) return fail(attributes, "cannot enter " + target), 0;
    const EntryKind kind = sftp_names::kindOf(attributes.body);
    if (kind != EntryKind::Folder && kind != EntryKind::Unknown) {
        lastError_ = target + " is not a folder";
        return 0;
    }
    const std::string canonical = sftp_names::absolutePath(resolved);
    currentPath_ = canonical.empty() ? target : canonical;
    return 1;
}

int SftpSession::currentDirectory(std::string& path) {
    path = currentPath_;
    return connection_.connected() ? 0 : -1;
}

int SftpSession::listNames(NameList& names) {
    const size_t before = names.size();
    lastList_ = ListOutcome::Unreadable;
    C::Transfer limits(connection_);
    Reply reply;
    if (!request(C::kOpendir, ssh_wire::stringPayload(currentPath_), "OPENDIR " + currentPath_, reply)) return 0;
    if (reply.type != C::kHandle) {
        lastList_ = ListOutcome::Refused;
        return fail(reply, "cannot list " + currentPath_), 0;
    }
    std::string handle;
    size_t at = 0;
    ssh_wire::getString(reply.body, at, handle);
    size_t bytes = 0;
    bool done = false, ok = true;
    while (!done && ok) {
        // Two reads in flight: most folders end within them.
        const uint32_t first = connection_.send(C::kReaddir, ssh_wire::stringPayload(handle), "READDIR");
        const uint32_t second = connection_.send(C::kReaddir, ssh_wire::stringPayload(handle), "");
        for (uint32_t id : {first, second}) {
            if (!connection_.reply(id, reply)) return lost(), 0;
            if (done || !ok) continue;
            switch (sftp_names::takeDirectoryReply(reply, names, bytes)) {
            case sftp_names::DirectoryRead::More: break;
            case sftp_names::DirectoryRead::End: done = true; break;
            case sftp_names::DirectoryRead::Cut:
                ok = false;
                lastError_ = "listing of " + currentPath_ + " cut short";
                break;
            case sftp_names::DirectoryRead::TooLarge:
                ok = false;
                lastError_ = "listing of " + currentPath_ + " too large to keep in memory (more than " +
                             std::to_string(kMaxKeptListingBytes >> 20) + " MB)";
                break;
            case sftp_names::DirectoryRead::Failed: ok = fail(reply, "cannot list " + currentPath_); break;
            }
        }
    }
    connection_.forget(connection_.send(C::kClose, ssh_wire::stringPayload(handle), "CLOSE"));
    if (!ok) {
        names.resize(before);
        return 0;
    }
    const size_t count = names.size() - before;
    lastList_ = count > 0 ? ListOutcome::Listed : ListOutcome::Empty;
    return static_cast<int>(count);
}

bool SftpSession::openFile(const std::string& path, uint32_t flags, std::string& handle) {
    std::string payload = ssh_wire::stringPayload(path);
    ssh_wire::putU32(payload, flags);
    ssh_wire::putU32(payload, 0);  // no attributes
    Reply reply;
    if (!request(C::kOpen, payload, "OPEN " + path, reply)) return false;
    if (reply.type != C::kHandle) return fail(reply, "cannot open " + path);
    size_t at = 0;
    return ssh_wire::getString(reply.body, at, handle);
}

bool SftpSession::closeFile(const std::string& handle) {
    Reply reply;
    if (!request(C::kClose, ssh_wire::stringPayload(handle), "CLOSE", reply)) return false;
    return reply.type == C::kStatus && reply.status() == C::kOk ? true : fail(reply, "cannot close the file");
}

// Sends the local file in pieces, several on their way at once.
bool SftpSession::writeFile(const std::string& localName, const std::string& handle) {
    std::ifstream in(utf8Path(localName), std::ios::binary);
    if (!in) {
        lastError_ = "cannot read " + localName;
        return false;
    }
    std::deque<uint32_t> inFlight;
    uint64_t offset = 0;
    bool ok = true;
    std::string chunk(kChunk, '\0');
    for (;;) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const size_t n = static_cast<size_t>(in.gcount());
        if (n == 0) break;
        std::string payload = ssh_wire::stringPayload(handle);
        ssh_wire::putU64(payload, offset);
        ssh_wire::putString(payload, chunk.substr(0, n));
        inFlight.push_back(connection_.send(C::kWrite, payload, offset == 0 ? "WRITE ..." : ""));
        offset += n;
        while (inFlight.size() >= kChunksInFlight || (!in && !inFlight.empty())) {
            Reply reply;
            if (!connection_.reply(inFlight.front(), reply)) return lost();
            inFlight.pop_front();
            if (ok && !(reply.type == C::kStatus && reply.status() == C::kOk)) ok = fail(reply, "cannot write");
        }
        if (!in) break;
    }
    while (!inFlight.empty()) {
        Reply reply;
        if (!connection_.reply(inFlight.front(), reply)) return lost();
        inFlight.pop_front();
        if (ok && !(reply.type == C::kStatus && reply.status() == C::kOk)) ok = fail(reply, "cannot write");
    }
    if (in.bad()) {
        lastError_ = "cannot read " + localName;
        return false;
    }
    return ok;
}

bool SftpSession::rename(const std::string& from, const std::string& to) {
    std::string payload = ssh_wire::stringPayload(from);
    ssh_wire::putString(payload, to);
    Reply reply;
    if (!request(C::kRename, payload, "RENAME " + from + " " + to, reply)) return false;
    return reply.type == C::kStatus && reply.status() == C::kOk ? true : fail(reply, "cannot rename " + from);
}

// Puts the file at from in the place of the file at to. The plain rename of
// SFTP refuses to replace a file on OpenSSH's server: its posix-rename
// extension replaces in one step; without it, the old file steps aside
// first and comes back when the new one cannot take its place.
bool SftpSession::replace(const std::string& from, const std::string& to) {
    if (connection_.offers("posix-rename@openssh.com")) {
        std::string payload;
        ssh_wire::putString(payload, "posix-rename@openssh.com");
        payload += ssh_wire::stringPayload(from);
        ssh_wire::putString(payload, to);
        Reply reply;
        if (!request(C::kExtended, payload, "posix-rename " + from + " " + to, reply)) return false;
        if (reply.type == C::kStatus && reply.status() == C::kOk) return true;
        return fail(reply, "cannot rename " + from);
    }
    if (rename(from, to)) return true;
    if (lost_) return false;
    const std::string aside = to + ".previous";
    Reply reply;
    if (!request(C::kRemove, ssh_wire::stringPayload(aside), "REMOVE " + aside, reply)) return false;
    if (!rename(to, aside)) return false;
    if (!rename(from, to)) {
        const std::string error = lastError_;
        if (!lost_) rename(aside, to);
        lastError_ = error;
        return false;
    }
    request(C::kRemove, ssh_wire::stringPayload(aside), "REMOVE " + aside, reply);
    return !lost_;
}

int SftpSession::putFile(const std::string& localName, const std::string& remoteName, int) {
    const std::string target = fullPath(remoteName);
    const std::string partial = target + kUploadSuffix;
    std::string handle;
    C::Transfer limits(connection_);
    if (!openFile(partial, kOpenWrite | kOpenCreate | kOpenTruncate, handle)) return -1;
    const bool written = writeFile(localName, handle);
    if (lost_) return -1;
    const std::string error = lastError_;
    const bool closed = closeFile(handle);
    if (written && closed && replace(partial, target)) return 1;
    if (!written) lastError_ = error;
    // Never a partial file under the real name; the partial one goes.
    Reply reply;
    if (!lost_) request(C::kRemove, ssh_wire::stringPayload(partial), "REMOVE " + partial, reply);
    return -1;
}

int SftpSession::readFile(const std::string& name, std::string& content, size_t maxBytes) {
    content.clear();
    const std::string path = fullPath(name);
    std::string handle;
    C::Transfer limits(connection_);
    if (!openFile(path, kOpenRead, handle)) return lost_ ? -1 : 0;
    // Piece by piece from where the last one ended: a server may send less
    // than asked before the end.
    bool ok = true;
    while (ok && content.size() < maxBytes) {
        std::string payload = ssh_wire::stringPayload(handle);
        ssh_wire::putU64(payload, content.size());
        ssh_wire::putU32(payload, static_cast<uint32_t>(std::min(kChunk, maxBytes - content.size())));
        Reply reply;
        if (!request(C::kRead, payload, content.empty() ? "READ " + path : "", reply)) return -1;
        std::string data;
        size_t at = 0;
        if (reply.type == C::kData && ssh_wire::getString(reply.body, at, data) && !data.empty())
            content += data;
        else if (reply.type == C::kStatus && reply.status() == C::kEof)
            break;
        else
            ok = fail(reply, "cannot read " + path);
    }
    if (content.size() > maxBytes) content.resize(maxBytes);
    connection_.forget(connection_.send(C::kClose, ssh_wire::stringPayload(handle), "CLOSE"));
    return ok ? 1 : 0;
}

int SftpSession::close() {
    connection_.close();
    return 1;
}
