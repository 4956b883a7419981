#include <gtest/gtest.h>

#include "TempTree.h"
#include "sitemap/SitemapFile.h"

namespace {

TEST(SitemapFile, PiecesAreExact) {
    EXPECT_EQ(SitemapFile::header(false),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n");
    EXPECT_EQ(SitemapFile::header(true),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
              "xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\">\n");
    EXPECT_EQ(SitemapFile::entry("http://e/p.html", false), "\t<url>\n\t\t<loc>http://e/p.html</loc>\n\t</url>\n");
    EXPECT_EQ(SitemapFile::entry("http://e/p.html", true),
              "\t<url>\n\t\t<loc>http://e/p.html</loc>\n\t\t<mobile:mobile/>\n\t</url>\n");
}

TEST(SitemapFile, AppendsWithCrLfAndCreatesOnEmptyText) {
    TempTree dir;
    auto file = (dir.path() / "sitemap.xml").string();
    ASSERT_TRUE(SitemapFile::appendToFile(file, ""));
    EXPECT_EQ(readFile(file), "");
    ASSERT_TRUE(SitemapFile::appendToFile(file, "a\nb\n"));
    ASSERT_TRUE(SitemapFile::appendToFile(file, "c\n"));
    EXPECT_EQ(readFile(file), "a\r\nb\r\nc\r\n");
    SitemapFile::remove(file);
    EXPECT_EQ(readFile(file), "<missing>");
    SitemapFile::remove(file);  // a missing file is fine
}

TEST(SitemapFile, ReportsPiecesThatCannotBeWritten) {
    TempTree dir;
    // Cannot be opened: a folder stands where the file should be, or the folder is missing.
    dir.folder("taken.xml");
    EXPECT_FALSE(SitemapFile::appendToFile((dir.path() / "taken.xml").string(), "x\n"));
    EXPECT_FALSE(SitemapFile::appendToFile((dir.path() / "no/such/sitemap.xml").string(), "x\n"));
#ifndef _WIN32
    // Opens, but the write fails (a full disk).
    EXPECT_FALSE(SitemapFile::appendToFile("/dev/full", "<urlset>\n"));
#endif
}

}  // namespace
