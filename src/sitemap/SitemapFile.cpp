#include "sitemap/SitemapFile.h"

#include <cstdio>
#include <fstream>

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

std::string SitemapFile::entry(const std::string& location, bool mobile) {
    std::string text = "\t<url>\n\t\t<loc>" + location + "</loc>\n";
    if (mobile) text += "\t\t<mobile:mobile/>\n";
    text += "\t</url>\n";
    return text;
}

bool SitemapFile::appendToFile(const std::string& fileName, const std::string& text) {
    std::string onDisk;
    onDisk.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') onDisk += '\r';
        onDisk += c;
    }
    std::ofstream out(utf8Path(fileName), std::ios::binary | std::ios::app);
    if (!out) return false;
    out.write(onDisk.data(), static_cast<std::streamsize>(onDisk.size()));
    out.close();
    return !out.fail();
}

void SitemapFile::remove(const std::string& fileName) {
    std::error_code ignored;
    auto path = utf8Path(fileName);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) return;  // never a folder
    std::filesystem::remove(path, ignored);
}
