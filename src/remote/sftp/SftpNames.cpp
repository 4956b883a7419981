#include "remote/sftp/SftpNames.h"

#include <ctime>

#include "remote/ftp/ListingParser.h"
#include "remote/sftp/SftpConnection.h"

namespace sftp_names {
namespace {

constexpr uint32_t kSize = 0x1, kUidGid = 0x2, kPermissions = 0x4, kTimes = 0x8, kExtended = 0x80000000u;

struct Attributes {
    bool hasPermissions = false;
    uint32_t permissions = 0;
    bool hasTime = false;
    uint32_t modified = 0;
};

bool readAttributes(const std::string& in, size_t& at, Attributes& out) {
    uint32_t flags = 0, skip = 0;
    uint64_t size = 0;
    if (!ssh_wire::getU32(in, at, flags)) return false;
    if ((flags & kSize) && !ssh_wire::getU64(in, at, size)) return false;
    if ((flags & kUidGid) && !(ssh_wire::getU32(in, at, skip) && ssh_wire::getU32(in, at, skip))) return false;
    out.hasPermissions = flags & kPermissions;
    if (out.hasPermissions && !ssh_wire::getU32(in, at, out.permissions)) return false;
    out.hasTime = flags & kTimes;
    if (out.hasTime && !(ssh_wire::getU32(in, at, skip) && ssh_wire::getU32(in, at, out.modified))) return false;
    if (flags & kExtended) {
        uint32_t count = 0;
        std::string name, data;
        if (!ssh_wire::getU32(in, at, count)) return false;
        for (uint32_t i = 0; i < count; ++i)
            if (!ssh_wire::getString(in, at, name) || !ssh_wire::getString(in, at, data)) return false;
    }
    return true;
}

EntryKind kindFrom(const Attributes& attributes) {
    if (!attributes.hasPermissions) return EntryKind::Unknown;
    switch (attributes.permissions & 0170000) {
        case 0040000: return EntryKind::Folder;
        case 0100000: return EntryKind::File;
        case 0120000: return EntryKind::Link;
        default: return EntryKind::Other;
    }
}

// Seconds since 1970 in UTC, as the protocol gives them.
ModifiedTime utcTime(uint32_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm t{};
#ifdef _WIN32
    gmtime_s(&t, &time);
#else
    gmtime_r(&time, &t);
#endif
    ModifiedTime m;
    m.year = static_cast<short>(t.tm_year + 1900);
    m.month = static_cast<unsigned char>(t.tm_mon + 1);
    m.day = static_cast<unsigned char>(t.tm_mday);
    m.hour = static_cast<unsigned char>(t.tm_hour);
    m.minute = static_cast<unsigned char>(t.tm_min);
    m.second = static_cast<unsigned char>(t.tm_sec);
    m.utc = true;
    return m;
}

}  // namespace

bool append(const std::string& body, NameList& names) {
    size_t at = 0;
    uint32_t count = 0;
    if (!ssh_wire::getU32(body, at, count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        NameEntry entry;
        Attributes attributes;
        if (!ssh_wire::getString(body, at, entry.name) || !ssh_wire::getString(body, at, entry.facts) ||
            !readAttributes(body, at, attributes))
            return false;
        // A name holding "/" or a NUL is no name of this folder.
        if (entry.name == "." || entry.name == ".." || !listing::isSafeName(entry.name)) continue;
        entry.kind = kindFrom(attributes);
        if (attributes.hasTime) entry.modified = utcTime(attributes.modified);
        names.push_back(std::move(entry));
    }
    return true;
}

EntryKind kindOf(const std::string& attrsBody) {
    size_t at = 0;
    Attributes attributes;
    return readAttributes(attrsBody, at, attributes) ? kindFrom(attributes) : EntryKind::Unknown;
}

std::string absolutePath(const SftpConnection::Reply& reply) {
    size_t at = 0;
    uint32_t count = 0;
    std::string path;
    if (reply.type == SftpConnection::kName && ssh_wire::getU32(reply.body, at, count) && count == 1 &&
        ssh_wire::getString(reply.body, at, path) && !path.empty() && path.front() == '/')
        return path;
    return {};
}

DirectoryRead takeDirectoryReply(const SftpConnection::Reply& reply, NameList& names, size_t& kept) {
    if (reply.type == SftpConnection::kStatus && reply.status() == SftpConnection::kEof) return DirectoryRead::End;
    if (reply.type != SftpConnection::kName) return DirectoryRead::Failed;
    const size_t had = names.size();
    const bool whole = append(reply.body, names);
    for (size_t i = had; i < names.size(); ++i) kept += keptBytes(names[i]);
    if (kept > kMaxKeptListingBytes) return DirectoryRead::TooLarge;
    return whole ? DirectoryRead::More : DirectoryRead::Cut;
}

}  // namespace sftp_names
