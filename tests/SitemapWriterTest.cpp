// The files a generation leaves: one sitemap.xml within the protocol's
// limits, else parts and their index; compressed on request; nothing half
// written under a real name.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>

#include "Commands.h"
#include "TempTree.h"
#include "sitemap/SitemapFile.h"
#include "sitemap/SitemapWriter.h"

namespace {

std::string entries(int from, int count) {
    std::string text;
    for (int i = from; i < from + count; ++i)
        text += SitemapFile::entry("https://example.jp/p" + std::to_string(i) + ".html", false);
    return text;
}

std::string gunzip(const std::filesystem::path& file) {
    gzFile in = gzopen(file.string().c_str(), "rb");
    if (!in) return "<missing>";
    std::string text;
    char buffer[4096];
    for (int n; (n = gzread(in, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    gzclose(in);
    return text;
}

bool valid(const std::filesystem::path& file, const char* schema) { return xmlValid("'" + file.string() + "'", schema); }

TEST(SitemapWriter, WithinTheLimitsOneFileAsEver) {
    TempTree dir;
    SitemapWriter writer((dir.path() / "sitemap.xml").string(), "https://example.jp", true, false);
    std::string error;
    ASSERT_TRUE(writer.begin(error)) << error;
    ASSERT_TRUE(writer.write(entries(0, 2)));
    ASSERT_TRUE(writer.write(""));
    ASSERT_TRUE(writer.finish("", error)) << error;
    EXPECT_EQ(readFile(dir.path() / "sitemap.xml"), crlf(SitemapFile::header(true) + entries(0, 2) + "</urlset>\n"));
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"sitemap.xml"});
}

// Past either limit the next entry starts a new file; the index comes last
// and names every part at the site's address.
TEST(SitemapWriter, PastALimitPartsAndAnIndex) {
    const std::string header = SitemapFile::header(false);
    const size_t entryBytes = crlf(entries(0, 1)).size();
    struct {
        const char* what;
        SitemapLimits limits;
        bool gzip;
    } cases[] = {
        {"by URLs", {3, 1u << 20}, false},
        {"by bytes", {1000, crlf(header).size() + 3 * entryBytes + crlf(SitemapFile::kClosingTag).size()}, false},
        {"compressed", {3, 1u << 20}, true},
    };
    for (const auto& c : cases) {
        TempTree dir;
        SitemapWriter writer((dir.path() / "sitemap.xml").string(), "https://example.jp/a b", false, c.gzip, c.limits);
        std::string error;
        ASSERT_TRUE(writer.begin(error)) << error;
        ASSERT_TRUE(writer.write(entries(0, 5)));  // a block across two files
        ASSERT_TRUE(writer.write(entries(5, 2)));
        ASSERT_TRUE(writer.finish("2026-12-08T10:00:00Z", error)) << error;

        const std::string gz = c.gzip ? ".gz" : "";
        // The index is never compressed: sitemap.xml stays the entry point.
        const std::vector<std::string> files = {"sitemap-1.xml" + gz, "sitemap-2.xml" + gz, "sitemap-3.xml" + gz,
                                                "sitemap.xml"};
        EXPECT_EQ(namesIn(dir), (std::vector<std::string>{files[0], files[1], files[2], files[3]})) << c.what;
        ASSERT_EQ(writer.files().size(), 4u) << c.what;
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(std::filesystem::path(writer.files()[i]).filename(), files[i]) << c.what << ": upload order";

        auto content = [&](const std::string& name) {
            return name.ends_with(".gz") ? gunzip(dir.path() / name) : readFile(dir.path() / name);
        };
        EXPECT_EQ(content(files[0]), crlf(header + entries(0, 3) + "</urlset>\n")) << c.what;
        EXPECT_EQ(content(files[1]), crlf(header + entries(3, 3) + "</urlset>\n")) << c.what;
        EXPECT_EQ(content(files[2]), crlf(header + entries(6, 1) + "</urlset>\n")) << c.what;
        const std::string index = content(files[3]);
        EXPECT_NE(index.find("<loc>https://example.jp/a%20b/sitemap-2.xml" + gz + "</loc>\r\n"
                             "\t\t<lastmod>2026-12-08T10:00:00Z</lastmod>"),
                  std::string::npos)
            << index;
        if (!c.gzip) {
            EXPECT_TRUE(valid(dir.path() / files[1], "sitemap-all.xsd")) << c.what;
        }
        EXPECT_TRUE(valid(dir.path() / files[3], "siteindex.xsd")) << index;
    }
}

TEST(SitemapWriter, UnfinishedLeavesNothing) {
    TempTree dir;
    {
        SitemapWriter writer((dir.path() / "sitemap.xml").string(), "https://example.jp", false, true, {2, 1u << 20});
        std::string error;
        ASSERT_TRUE(writer.begin(error)) << error;
        ASSERT_TRUE(writer.write(entries(0, 5)));
    }  // a failed walk never finishes its writer
    EXPECT_TRUE(namesIn(dir).empty()) << namesIn(dir).front();
}

}  // namespace
