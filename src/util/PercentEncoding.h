#pragma once

#include <string>
#include <string_view>

// RFC 3986 percent-encoding, byte by byte and independent of the locale.
namespace percent {

// A-Z a-z 0-9 - . _ ~: never needs escaping.
bool isUnreserved(unsigned char byte);

// The value of a hex digit; -1 for any other character.
int hexValue(char c);

// "%XX" for the byte.
void appendEncoded(std::string& out, unsigned char byte);

// Every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~) and those in
// alsoSafe becomes "%XX".
std::string encode(std::string_view text, std::string_view alsoSafe = {});

}  // namespace percent
