// Listing and reply parsers: any bytes a server sends.
#include <cstdint>
#include <string>
#include <vector>

#include "remote/ftp/ListingParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    NameList names;
    listing::parseList(text, names);
    listing::parseMlsd(text, names);
    for (const auto& entry : names)
        if (!listing::isSafeName(entry.name)) __builtin_trap();  // never a name that could break a command
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    NameList stat;
    listing::parseStatReply(lines, stat);
    std::string path;
    if (listing::parsePwdReply(text, path) && listing::isUsablePath(path) &&
        path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        __builtin_trap();
    listing::mlstUniqueId(lines);
    return 0;
}
