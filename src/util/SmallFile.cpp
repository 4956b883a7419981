#include "util/SmallFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "util/Utf8Path.h"

bool readSmallFile(const std::string& path, std::uintmax_t maxBytes, std::string& bytes, std::string& error,
                   bool* missing) {
    namespace fs = std::filesystem;
    bytes.clear();
    if (missing) *missing = false;
    std::error_code ec;
    auto status = fs::status(utf8Path(path), ec);
    if (status.type() == fs::file_type::not_found) {
        if (missing) *missing = true;
        return true;
    }
    if (ec || status.type() != fs::file_type::regular) {
        error = path + " is not a regular file";
        return false;
    }
#ifdef _WIN32
    auto size = fs::file_size(utf8Path(path), ec);
    if (ec || size > maxBytes) {
        error = path + " is larger than such a file can be";
        return false;
    }
    std::ifstream in(utf8Path(path), std::ios::binary);
    bytes.resize(static_cast<size_t>(size));
    if (in) in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(in ? bytes.size() : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
#else
    // Opened without waiting, then checked again: a FIFO put there after
    // the check above is still not read.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        error = fd < 0 ? "cannot read " + path : path + " is not a regular file";
        return false;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        error = path + " is larger than such a file can be";
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char chunk[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes.append(chunk, static_cast<size_t>(n));
        if (bytes.size() > maxBytes) {  // grew while read
            ok = false;
            break;
        }
    }
    ::close(fd);
    if (!ok) error = "cannot read " + path;
    return ok;
#endif
}
