#pragma once

#include <optional>
#include <string>

// Text conversions for files written by older Windows tools.
namespace text_codec {

bool isValidUtf8(const std::string& text);

// Shift-JIS (Windows code page 932) to UTF-8; nothing when the bytes are
// not valid CP932 either.
std::optional<std::string> cp932ToUtf8(const std::string& text);

// UTF-8 to Shift-JIS (code page 932); nothing when a character has no
// CP932 form (no best-fit substitutes).
std::optional<std::string> utf8ToCp932(const std::string& text);

// Cuts text to at most maxBytes bytes without splitting a UTF-8 sequence.
std::string cutUtf8(const std::string& text, size_t maxBytes);

}  // namespace text_codec
