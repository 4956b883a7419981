// Text conversions: never invalid UTF-8 out, never a cut character.
#include <cstdint>
#include <string>

#include "util/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (auto utf8 = text_codec::cp932ToUtf8(text); utf8 && !text_codec::isValidUtf8(*utf8)) __builtin_trap();
    if (text_codec::isValidUtf8(text)) {
        for (size_t limit : {size_t{0}, size_t{1}, size / 2, size}) {
            std::string cut = text_codec::cutUtf8(text, limit);
            if (cut.size() > limit || !text_codec::isValidUtf8(cut) || text.compare(0, cut.size(), cut) != 0)
                __builtin_trap();
        }
    }
    return 0;
}
