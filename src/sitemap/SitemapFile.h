#pragma once

#include <string>

// The generated document, sitemap.xml, written piece by piece: the header,
// one block of entries per folder, the closing tag. Pieces use "\n"; on
// disk every line ends in CR LF on every platform.
class SitemapFile {
public:
    static constexpr const char* kFileName = "sitemap.xml";
    static constexpr const char* kClosingTag = "</urlset>\n";

    // XML declaration and the urlset start tag, with the mobile namespace
    // when mobile is set.
    static std::string header(bool mobile);

    // One url element; location must already be XML-escaped. lastmod: a
    // W3C date or time, or empty for none.
    static std::string entry(const std::string& location, bool mobile, const std::string& lastmod = {});

    // The sitemap index: its header, one entry per file (location already
    // XML-escaped; lastmod may be empty), its closing tag.
    static std::string indexHeader();
    static std::string indexEntry(const std::string& location, const std::string& lastmod);
    static constexpr const char* kIndexClosingTag = "</sitemapindex>\n";

    // The text as it stands on disk: every "\n" as CR LF.
    static std::string onDisk(const std::string& text);

    // Deletes the file; a missing file is fine, a folder of that name stays.
    static void remove(const std::string& fileName);

    // Creates a new, empty file beside fileName under a fresh name of its
    // own (never an existing file or link) and returns its path; empty with
    // error set when that fails.
    static std::string createPartial(const std::string& fileName, std::string& error);
    // Removes the partial files that a killed run left beside fileName
    // (createPartial's names only).
    static void removeLeftPartials(const std::string& fileName);

    // Gives the whole file its final name, replacing what is there. False
    // with error set when that fails.
    static bool commit(const std::string& partial, const std::string& fileName, std::string& error);
};
