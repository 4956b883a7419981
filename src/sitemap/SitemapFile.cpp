#include "sitemap/SitemapFile.h"

#include <filesystem>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "util/FileReplace.h"
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

void SitemapFile::remove(const std::string& fileName) {
    std::error_code ignored;
    auto path = utf8Path(fileName);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) return;  // never a folder
    std::filesystem::remove(path, ignored);
}

void SitemapFile::removeLeftPartials(const std::string& fileName) {
    const std::filesystem::path path = utf8Path(fileName);
    const std::string stem = pathToUtf8(path.filename());
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = pathToUtf8(entry.path().filename());
        if (isFreshBeside(name, stem, ".part") && entry.is_regular_file(ec)) remove(pathToUtf8(entry.path()));
    }
}

std::string SitemapFile::createPartial(const std::string& fileName, std::string& error) {
    int fd = -1;
    std::string name = createFreshBeside(fileName, ".part", 0644, fd, error);
    if (name.empty()) return {};
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
    return name;
}

bool SitemapFile::commit(const std::string& partial, const std::string& fileName, std::string& error) {
    return renameOver(partial, fileName, error);
}
