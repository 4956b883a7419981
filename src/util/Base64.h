#pragma once

#include <string>

// Base64 (RFC 4648), as SSH writes keys and their fingerprints.
namespace base64 {

inline unsigned byte(char c) { return static_cast<unsigned char>(c); }

inline std::string encode(const std::string& bytes, bool pad = true) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (byte(bytes[i]) << 16) | (byte(bytes[i + 1]) << 8) | byte(bytes[i + 2]);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (i < bytes.size()) {
        unsigned v = byte(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= byte(bytes[i + 1]) << 8;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63]};
        if (i + 1 < bytes.size()) out += kDigits[(v >> 6) & 63];
        if (pad) out.append(i + 1 < bytes.size() ? 1 : 2, '=');
    }
    return out;
}

}  // namespace base64
