#include "ftp/SftpNames.h"

#include <ctime>

#include "ftp/ListingParser.h"
#include "ftp/SftpConnection.h"

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
    using C = SftpConnection;
    uint32_t flags = 0, skip = 0;
    uint64_t size = 0;
    if (!C::getU32(in, at, flags)) return false;
    if ((flags & kSize) && !C::getU64(in, at, size)) return false;
    if ((flags & kUidGid) && !(C::getU32(in, at, skip) && C::getU32(in, at, skip))) return false;
    out.hasPermissions = flags & kPermissions;
    if (out.hasPermissions && !C::getU32(in, at, out.permissions)) return false;
    out.hasTime = flags & kTimes;
    if (out.hasTime && !(C::getU32(in, at, skip) && C::getU32(in, at, out.modified))) return false;
    if (flags & kExtended) {
        uint32_t count = 0;
        std::string name, data;
        if (!C::getU32(in, at, count)) return false;
        for (uint32_t i = 0; i < count; ++i)
            if (!C::getString(in, at, name) || !C::getString(in, at, data)) return false;
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
    if (!SftpConnection::getU32(body, at, count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        NameEntry entry;
        Attributes attributes;
        if (!SftpConnection::getString(body, at, entry.name) || !SftpConnection::getString(body, at, entry.facts) ||
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

}  // namespace sftp_names
