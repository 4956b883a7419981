#include "util/FileReplace.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
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

bool replaceFile(const std::string& path, const std::string& content) {
    namespace fs = std::filesystem;
    fs::path target = utf8Path(path);
    fs::path temp = target;
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    temp += suffix;
#ifdef _WIN32
    int fd = _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    _close(fd);
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (out.fail()) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
#else
    mode_t mode = S_IRUSR | S_IWUSR;
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) mode = existing.st_mode & 07777;
    // A fresh name, created here: never a file or link someone left there.
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return false;
    fchmod(fd, mode);
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
#endif
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

