#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// File system paths to and from UTF-8 text, so that names with Japanese
// characters work on Windows too (wide-character file APIs).
inline std::filesystem::path utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string pathToUtf8(const std::filesystem::path& path) {
    auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The process's current folder; empty (never an exception) when it cannot
// be told, e.g. because it was deleted.
inline std::string currentFolderUtf8() {
    std::error_code ec;
    auto folder = std::filesystem::current_path(ec);
    return ec ? std::string() : pathToUtf8(folder);
}
