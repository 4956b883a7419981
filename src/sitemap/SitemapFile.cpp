#include "sitemap/SitemapFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "util/Utf8Path.h"

namespace {
constexpr const char* kSitemapNamespace = "http://www.sitemaps.org/schemas/sitemap/0.9";
constexpr const char* kMobileNamespace = "http://www.google.com/schemas/sitemap-mobile/1.0";
}  // namespace

std::string SitemapFile::header(bool mobile) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<urlset xmlns=\"";
    text += kSitemapNamespace;
    if (mobile) {
        text += "\" xmlns:mobile=\"";
        text += kMobileNamespace;
    }
    text += "\">\n";
    return text;
}

std::string SitemapFile::entry(const std::string& location, bool mobile, const std::string& lastmod) {
    std::string text = "\t<url>\n\t\t<loc>" + location + "</loc>\n";
    if (!lastmod.empty()) text += "\t\t<lastmod>" + lastmod + "</lastmod>\n";
    if (mobile) text += "\t\t<mobile:mobile/>\n";
    text += "\t</url>\n";
    return text;
}

std::string SitemapFile::indexHeader() {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<sitemapindex xmlns=\"") + kSitemapNamespace +
           "\">\n";
}

std::string SitemapFile::indexEntry(const std::string& location, const std::string& lastmod) {
    std::string text = "\t<sitemap>\n\t\t<loc>" + location + "</loc>\n";
    if (!lastmod.empty()) text += "\t\t<lastmod>" + lastmod + "</lastmod>\n";
    return text + "\t</sitemap>\n";
}

std::string SitemapFile::onDisk(const std::string& text) {
    std::string converted;
    converted.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
}

bool SitemapFile::appendToFile(const std::string& fileName, const std::string& text) {
    const std::string bytes = onDisk(text);
    std::ofstream out(utf8Path(fileName), std::ios::binary | std::ios::app);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

void SitemapFile::remove(const std::string& fileName) {
    std::error_code ignored;
    auto path = utf8Path(fileName);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) return;  // never a folder
    std::filesystem::remove(path, ignored);
}

void SitemapFile::removeLeftPartials(const std::string& fileName) {
    const std::filesystem::path path = utf8Path(fileName);
    const std::string stem = pathToUtf8(path.filename()) + ".";  // then 8 hex digits and ".part"
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = pathToUtf8(entry.path().filename());
        const bool partial = name.size() == stem.size() + 13 && name.rfind(stem, 0) == 0 && name.ends_with(".part") &&
                             name.find_first_not_of("0123456789abcdef", stem.size()) == stem.size() + 8;
        if (partial && entry.is_regular_file(ec)) remove(pathToUtf8(entry.path()));
    }
}

std::string SitemapFile::createPartial(const std::string& fileName, std::string& error) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
        std::string name = fileName + suffix;
        auto path = utf8Path(name);
#ifdef _WIN32
        int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) _close(fd);
#else
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
#endif
        if (fd >= 0) return name;
        if (errno != EEXIST) break;
    }
    error = "cannot create a file beside " + fileName + ": " + std::strerror(errno);
    return {};
}

bool SitemapFile::commit(const std::string& partial, const std::string& fileName, std::string& error) {
    std::error_code ec;
    std::filesystem::rename(utf8Path(partial), utf8Path(fileName), ec);
    if (!ec) return true;
    error = "cannot replace " + fileName + ": " + ec.message();
    return false;
}
