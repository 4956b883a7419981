#pragma once

#include <string>

#include "remote/NameList.h"
#include "remote/sftp/SftpConnection.h"

// The names of an SFTP NAME reply (after the request id): each with its
// kind and time from the attributes the server sends with it, "." and ".."
// left out. False when the reply is cut short.
namespace sftp_names {

bool append(const std::string& body, NameList& names);

// A STAT or LSTAT reply's attributes (after the request id): whether they
// are a folder's. Unknown when the server sends no permissions.
EntryKind kindOf(const std::string& attrsBody);

// The path of a REALPATH reply when it is one absolute path; empty otherwise.
std::string absolutePath(const SftpConnection::Reply& reply);

// What one READDIR reply said: more names (appended to names, their memory
// added to kept), the end of the folder, names cut short, more kept than
// one listing may hold (kMaxKeptListingBytes), or a failure (see the reply).
enum class DirectoryRead { More, End, Cut, TooLarge, Failed };
DirectoryRead takeDirectoryReply(const SftpConnection::Reply& reply, NameList& names, size_t& kept);

}  // namespace sftp_names
