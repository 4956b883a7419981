#pragma once

#include <string>
#include <vector>

// What a listing says about one entry. Unknown when the format does not tell.
// Other: a device, pipe or socket, never a page or a folder.
enum class EntryKind { Unknown, File, Folder, Link, Other };

// One name of a remote folder, its raw bytes exactly as the server sent them.
struct NameEntry {
    std::string name;
    EntryKind kind = EntryKind::Unknown;
    std::string uniqueId;  // the server's identity for the entry (MLSD "unique"), or empty
    std::string facts;     // the rest of its listing line (mode, size, time...), as sent
};

// The names of one remote folder, in the order the server listed them.
using NameList = std::vector<NameEntry>;
