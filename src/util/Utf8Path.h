#pragma once

#include <filesystem>
#include <string>

// A file system path from UTF-8 text, so that names with Japanese
// characters work on Windows too (wide-character file APIs).
inline std::filesystem::path utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
