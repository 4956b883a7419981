#pragma once

#include <string>
#include <string_view>

// ASCII letters in lower case, other bytes as they are (no locale).
inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}
