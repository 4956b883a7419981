#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What a listing says about one entry. Unknown when the format does not tell.
// Other: a device, pipe or socket, never a page or a folder.
enum class EntryKind { Unknown, File, Folder, Link, Other };

// When an entry was last changed, as its listing gives it: exact and in UTC
// from an MLSD "modify" fact; else the server's local date (and time), zone
// unknown, and for recent files in LIST form without the year (year 0).
struct ModifiedTime {
    short year = 0;
    unsigned char month = 0;  // 1 to 12; 0 when the listing gives no time
    unsigned char day = 0, hour = 0, minute = 0, second = 0;
    bool utc = false;

    bool known() const { return month != 0; }
};

// One name of a remote folder, its raw bytes exactly as the server sent them.
struct NameEntry {
    std::string name;
    EntryKind kind = EntryKind::Unknown;
    std::string uniqueId;  // the server's identity for the entry (MLSD "unique"), or empty
    std::string facts;     // the rest of its listing line (mode, size, time...), as sent
    ModifiedTime modified;
    long long size = -1;  // in bytes, as a LIST line gives it; -1 when not given
};

// The names of one remote folder, in the order the server listed them.
using NameList = std::vector<NameEntry>;

// What one folder's listing, and one batch of listings read at once on a
// connection, may hold in memory: a larger one is not kept (the folder is
// counted as unreadable, saying why). The memory a run needs is bounded by
// it: see the README.
inline constexpr size_t kMaxKeptListingBytes = 64u << 20;

// The memory an entry holds, about.
inline size_t keptBytes(const NameEntry& entry) {
    return sizeof(NameEntry) + entry.name.size() + entry.uniqueId.size() + entry.facts.size();
}
// At most what a listing of that many lines and bytes becomes once read:
// each line gives one entry at most, holding its own bytes at most.
inline size_t keptBytesAtMost(size_t lines, size_t bytes) { return lines * sizeof(NameEntry) + bytes; }
