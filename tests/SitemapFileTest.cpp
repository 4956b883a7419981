#include <gtest/gtest.h>

#include <filesystem>

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

TEST(SitemapFile, OnDiskLinesEndInCrLfAndRemoveSparesFolders) {
    EXPECT_EQ(SitemapFile::onDisk(""), "");
    EXPECT_EQ(SitemapFile::onDisk("a\nb\nc\n"), "a\r\nb\r\nc\r\n");
    TempTree dir;
    auto file = (dir.path() / "sitemap.xml").string();
    dir.file("sitemap.xml", "x");
    SitemapFile::remove(file);
    EXPECT_EQ(readFile(file), "<missing>");
    SitemapFile::remove(file);  // a missing file is fine
    dir.folder("taken.xml");
    SitemapFile::remove((dir.path() / "taken.xml").string());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "taken.xml"));
}

TEST(SitemapFile, ReportsFilesThatCannotBeMade) {
    TempTree dir;
    std::string error;
    // No folder to put it in.
    EXPECT_EQ(SitemapFile::createPartial((dir.path() / "no/such/sitemap.xml").string(), error), "");
    EXPECT_NE(error.find("no/such"), std::string::npos) << error;
    // A folder stands where the file should go: the partial stays, the folder too.
    dir.folder("taken.xml");
    const std::string target = (dir.path() / "taken.xml").string();
    const std::string partial = SitemapFile::createPartial(target, error);
    ASSERT_NE(partial, "");
    error.clear();
    EXPECT_FALSE(SitemapFile::commit(partial, target, error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    SitemapFile::removeLeftPartials(target);
    EXPECT_EQ(readFile(partial), "<missing>");
    EXPECT_TRUE(std::filesystem::is_directory(target));
}

}  // namespace
