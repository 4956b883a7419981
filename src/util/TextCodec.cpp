#include "util/TextCodec.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace text_codec {

#ifndef _WIN32
namespace {

// The whole text in another encoding; nothing when a byte or character
// has no place there (no substitutes).
std::optional<std::string> convert(const char* to, const char* from, const std::string& text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 3 + 4, '\0');  // CP932 to UTF-8 at most triples
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace
#endif

bool isValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra;
        unsigned int min;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        unsigned int code = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::optional<std::string> cp932ToUtf8(const std::string& text) {
    if (text.empty()) return std::string();
#ifdef _WIN32
    int wideLen = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLen <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(wideLen), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), wideLen);
    int len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLen, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLen, out.data(), len, nullptr, nullptr);
    return out;
#else
    return convert("UTF-8", "CP932", text);
#endif
}

std::optional<std::string> utf8ToCp932(const std::string& text) {
    if (text.empty()) return std::string();
#ifdef _WIN32
    int wideLen = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLen <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(wideLen), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), wideLen);
    BOOL substituted = FALSE;
    int len = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wideLen, nullptr, 0, nullptr, &substituted);
    if (len <= 0 || substituted) return std::nullopt;
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wideLen, out.data(), len, nullptr, &substituted);
    if (substituted) return std::nullopt;
    return out;
#else
    return convert("CP932", "UTF-8", text);
#endif
}

std::string cutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    // When the first byte left out continues a sequence, that sequence would
    // be cut: leave it out whole.
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace text_codec
