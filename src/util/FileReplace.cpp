#include "util/FileReplace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "util/Utf8Path.h"

namespace {

#ifdef _WIN32
bool writeAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const int n = _write(fd, content.data() + done, static_cast<unsigned>(std::min<size_t>(content.size() - done, 1 << 30)));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
#else
bool writeAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
#endif

}  // namespace

std::string createFreshBeside(const std::string& path, const char* extension, int mode, int& fd,
                              std::string& error) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
        const std::string name = path + suffix + extension;
        const auto native = utf8Path(name);
#ifdef _WIN32
        (void)mode;
        fd = _wopen(native.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
        fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
#endif
        if (fd >= 0) return name;
        if (errno != EEXIST) break;
    }
    error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return {};
}

bool isFreshBeside(const std::string& name, const std::string& pathFileName, const char* extension) {
    const std::string stem = pathFileName + ".";
    const size_t extensionSize = std::strlen(extension);
    return name.size() == stem.size() + 8 + extensionSize && name.rfind(stem, 0) == 0 && name.ends_with(extension) &&
           name.find_first_not_of("0123456789abcdef", stem.size()) == stem.size() + 8;
}

bool renameOver(const std::string& from, const std::string& to, std::string& error) {
    std::error_code ec;
    std::filesystem::rename(utf8Path(from), utf8Path(to), ec);
    if (!ec) return true;
    error = "cannot replace " + to + ": " + ec.message();
    return false;
}

bool replaceFile(const std::string& path, const std::string& content) {
    int mode = 0600;
#ifndef _WIN32
    struct stat existing;
    if (stat(utf8Path(path).c_str(), &existing) == 0) mode = existing.st_mode & 07777;
#endif
    int fd = -1;
    std::string error;
    const std::string temp = createFreshBeside(path, ".tmp", mode, fd, error);
    if (temp.empty()) return false;
#ifdef _WIN32
    bool ok = writeAll(fd, content);
    ok = _close(fd) == 0 && ok;
#else
    ::fchmod(fd, static_cast<mode_t>(mode));  // whatever the umask took away
    bool ok = writeAll(fd, content);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
#endif
    if (ok && renameOver(temp, path, error)) return true;
    std::error_code ignored;
    std::filesystem::remove(utf8Path(temp), ignored);
    return false;
}
