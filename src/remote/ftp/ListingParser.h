#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/NameList.h"

// Parsers for directory listings as the server sends them over the data
// connection. Names that could be dangerous to send back to the server
// (holding CR, LF, NUL or "/") are dropped.
namespace listing {

// True when text may stand in a command line: no CR, LF or NUL, which
// would end the command and smuggle in another.
bool fitsInCommand(std::string_view text);

// The command line as it goes on the wire: a 0xFF byte (Telnet's IAC)
// doubled, as RFC 959 asks; servers undo it.
std::string telnetEscaped(std::string_view command);

// True when a name may be kept: not empty, no CR, LF, NUL or "/".
bool isSafeName(std::string_view name);

// Each parser appends the entries it reads and returns the number of lines
// it could not read (lines that listings carry besides entries, such as
// "total 12" or a DOS listing's trailer, are not counted).

// MLSD lines: "fact=value;fact=value; name".
size_t parseMlsd(std::string_view text, NameList& out);

// LIST lines in Unix form ("drwxr-xr-x 2 u g 4096 Jan 1 12:00 name"; also
// ISO and Japanese dates, no group column, device files) or DOS/IIS form
// ("01-02-24  10:11AM  <DIR>  name").
size_t parseList(std::string_view text, NameList& out);

// The lines of a STAT reply for a folder (211, 212 or 213): a header line,
// LIST lines (some servers put "213-" or a space before each), and the
// closing line.
size_t parseStatReply(const std::vector<std::string>& lines, NameList& out);

// A path the server reported that may be sent back in a command: absolute,
// no CR, LF or NUL.
bool isUsablePath(std::string_view path);

// The path of a 257 reply line: 257 "/a ""b""" is ... gives /a "b".
bool parsePwdReply(std::string_view line, std::string& path);

// The path of a 257 reply line when it may be sent back (isUsablePath).
std::optional<std::string> usablePathFromPwdReply(std::string_view line);

// Whether a FEAT reply (all its lines, as received) lists the feature: a
// line " UTF8" or " MLST type*;size*;" inside the 211 block, in any case.
bool offersFeature(const std::vector<std::string>& replyLines, std::string_view feature);

// The "unique" fact of an MLST reply (its facts line starts with a space);
// empty when there is none.
std::string mlstUniqueId(const std::vector<std::string>& replyLines);

}  // namespace listing
