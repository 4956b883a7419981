#include "util/HostName.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <idn2.h>
#endif

namespace host_name {

std::string asciiHost(const std::string& host) {
#ifdef _WIN32
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, host.data(), static_cast<int>(host.size()), nullptr, 0);
    if (wide <= 0) return {};
    std::wstring unicode(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, host.data(), static_cast<int>(host.size()), unicode.data(), wide);
    wchar_t ascii[256];
    int n = IdnToAscii(0, unicode.c_str(), wide, ascii, 256);
    if (n <= 0) return {};
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>(ascii[i]);
    return out;
#else
    char* converted = nullptr;
    // UTF-8 in, whatever the locale; IDNA 2008 with the usual mappings.
    int rc = idn2_lookup_u8(reinterpret_cast<const uint8_t*>(host.c_str()), reinterpret_cast<uint8_t**>(&converted),
                            IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    std::string result = rc == IDN2_OK && converted ? converted : "";
    idn2_free(converted);
    return result;
#endif
}

}  // namespace host_name
