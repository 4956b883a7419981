#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ftp/NameList.h"

// Parsers for directory listings as the server sends them over the data
// connection. Names that could be dangerous to send back to the server
// (holding CR, LF, NUL or "/") are dropped.
namespace listing {

// True when a name may be kept: not empty, no CR, LF, NUL or "/".
bool isSafeName(std::string_view name);

// MLSD lines: "fact=value;fact=value; name".
void parseMlsd(std::string_view text, NameList& out);

// LIST lines in Unix ("drwxr-xr-x 2 u g 4096 Jan 1 12:00 name") or
// DOS/IIS ("01-02-24  10:11AM  <DIR>  name") form. Lines of neither form
// ("total 12", blank lines) are skipped.
void parseList(std::string_view text, NameList& out);

// The lines of a STAT reply for a folder (211, 212 or 213): a header line,
// LIST lines (some servers put "213-" or a space before each), and the
// closing line.
void parseStatReply(const std::vector<std::string>& lines, NameList& out);

// The path of a 257 reply line: 257 "/a ""b""" is ... gives /a "b".
bool parsePwdReply(std::string_view line, std::string& path);

// The "unique" fact of an MLST reply (its facts line starts with a space);
// empty when there is none.
std::string mlstUniqueId(const std::vector<std::string>& replyLines);

}  // namespace listing
