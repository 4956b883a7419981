// Address forming: any names and base URL give text that is safe in XML.
#include <cstdint>
#include <string>
#include <vector>

#include "sitemap/Location.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Base URL, folders and name separated by NUL bytes.
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\0') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string base = parts.front();
    std::string name = parts.size() > 1 ? parts.back() : "p.html";
    std::vector<std::string> folders(parts.size() > 2 ? parts.begin() + 1 : parts.end(),
                                     parts.size() > 2 ? parts.end() - 1 : parts.end());
    std::string loc = location::xmlEscape(location::pageUrl(location::encodeBaseUrl(base), folders, name));
    for (unsigned char c : loc)
        if (c < 0x21 || c >= 0x7f || c == '<' || c == '>' || c == '"' || c == '\'') __builtin_trap();
    for (const auto& folder : folders)
        for (unsigned char c : location::encodeSegment(folder))
            if (c == '/' || c == '?' || c == '#') __builtin_trap();  // a segment never splits
    location::folderDisplay(base, folders);
    return 0;
}
