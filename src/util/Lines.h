#pragma once

#include <string>
#include <string_view>
#include <vector>

// The pieces of a text between separators, in order; a last piece without
// a separator after it counts when it is not empty.
inline std::vector<std::string_view> splitAt(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return pieces;
}

// A line without the CR that ended it before its LF.
inline std::string_view withoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The lines of a text, split at LF; a CR before the LF goes with it.
inline std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::string_view line : splitAt(text, "\n")) lines.emplace_back(withoutCr(line));
    return lines;
}

// The text up to its first line end.
inline std::string firstLine(std::string_view text) { return std::string(withoutCr(text.substr(0, text.find('\n')))); }
