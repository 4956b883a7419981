#include "util/PercentEncoding.h"

namespace percent {

void appendEncoded(std::string& out, unsigned char byte) {
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 15];
}

std::string encode(std::string_view text, std::string_view alsoSafe) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~';
        if (unreserved || (c < 0x80 && alsoSafe.find(ch) != std::string_view::npos))
            out += ch;
        else
            appendEncoded(out, c);
    }
    return out;
}

}  // namespace percent
