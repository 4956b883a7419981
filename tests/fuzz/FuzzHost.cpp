// Host parsing: whatever is typed, the URL handed to the client names the
// host and port only.
#include <cstdint>
#include <string>

#include "remote/RemoteHost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto host = RemoteHost::parse(text);
    if (!host) return 0;
    std::string url = host->urlPrefix();
    if (host->port < 1 || host->port > 65535) __builtin_trap();
    for (unsigned char c : host->host)
        if (c <= ' ' || c == '/' || c == '@' || c == '?' || c == '#' || c == '%' || c == 0x7f) __builtin_trap();
    const char* scheme = host->security == RemoteHost::Security::ImplicitTls ? "ftps://"
                         : host->security == RemoteHost::Security::Sftp      ? "sftp://"
                                                                           : "ftp://";
    if (url.rfind(scheme, 0) != 0) __builtin_trap();
    return 0;
}
