// SFTP replies: the names and attributes of any reply a server sends.
#include <cstdint>
#include <string>

#include "remote/ftp/ListingParser.h"
#include "remote/sftp/SftpNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    NameList names;
    sftp_names::append(body, names);
    for (const auto& entry : names)
        if (!listing::isSafeName(entry.name) || entry.name == "." || entry.name == "..") __builtin_trap();
    sftp_names::kindOf(body);
    return 0;
}
