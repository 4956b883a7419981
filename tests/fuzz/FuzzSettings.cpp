// Settings file: whatever a file holds, loading never fails badly, and
// values saved come back unchanged.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/SettingsFile.h"
#include "util/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = [] {
        char pattern[] = "/tmp/quillomar-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    const std::string path = dir + "/SETTING.INI";
    std::string text(reinterpret_cast<const char*>(data), size);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    SettingsFile file;
    file.setPath(path);
    JobSettings loaded;
    if (!file.load(loaded)) return 0;
    // The file's own values as new values: they must survive a round trip.
    JobSettings saved = loaded;
    saved.password = text_codec::cutUtf8(text.substr(0, text.find_first_of(std::string("\r\n\0", 3))),
                                         SettingsFile::kMaxValueBytes);
    if (!text_codec::isValidUtf8(saved.password)) return 0;  // the dialog gives UTF-8 only
    if (!file.save(saved)) return 0;
    JobSettings again;
    if (!file.load(again)) __builtin_trap();
    if (again.password != saved.password) __builtin_trap();
    return 0;
}
