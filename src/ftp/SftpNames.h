#pragma once

#include <string>

#include "ftp/NameList.h"

// The names of an SFTP NAME reply (after the request id): each with its
// kind and time from the attributes the server sends with it, "." and ".."
// left out. False when the reply is cut short.
namespace sftp_names {

bool append(const std::string& body, NameList& names);

// A STAT or LSTAT reply's attributes (after the request id): whether they
// are a folder's. Unknown when the server sends no permissions.
EntryKind kindOf(const std::string& attrsBody);

}  // namespace sftp_names
