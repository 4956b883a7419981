#pragma once

#include <string>
#include <vector>

// How a page's address is formed: the base URL, the folder names from the
// walk's root down, then the file name, joined with single slashes.
namespace location {

// RFC 3986 percent-encoding of one path segment, byte by byte.
std::string encodeSegment(const std::string& segment);

// The site's address as the file holds it, worked out once per run: the
// base URL as typed, its host name in ASCII form, with only bytes that may
// never stand in a URL (space, controls, 0x80 and above, < > " { } | \ ^ `)
// percent-encoded.
std::string encodeBaseUrl(const std::string& baseUrl);

// Escapes & < > " ' for XML character data.
std::string xmlEscape(const std::string& text);
// And back.
std::string xmlUnescape(const std::string& text);

// The page's URL below the site's address (encodeBaseUrl), not yet
// XML-escaped.
std::string pageUrl(const std::string& site, const std::vector<std::string>& folders, const std::string& name);

// The folder's own URL, ending in "/", not yet XML-escaped.
std::string folderUrl(const std::string& site, const std::vector<std::string>& folders);

// The folder's address as shown to the user while it is read (not encoded).
std::string folderDisplay(const std::string& baseUrl, const std::vector<std::string>& folders);

}  // namespace location
