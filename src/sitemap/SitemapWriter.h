#pragma once

#include <fstream>
#include <string>
#include <vector>

// Writes the generated files beside each other: sitemap.xml as one urlset
// while it stays within the limits of one file, else sitemap-1.xml,
// sitemap-2.xml, ... and sitemap.xml as their index. Every file is written
// under a name of its own and given its real name only once all are whole,
// the parts before the index, so a killed run never leaves a file that
// would pass for a whole one. Lines end in CR LF on disk.
//
// Not thread-safe: one writer at a time (the walks write under their lock).
// What one file may hold, as the sitemap protocol says.
struct SitemapLimits {
    long urls = 50000;                    // url elements
    unsigned long long bytes = 52428800;  // bytes, uncompressed
};

class SitemapWriter {
public:
    using Limits = SitemapLimits;

    // file: the path of sitemap.xml. baseUrl: the site's address for the
    // folder the files go to (one trailing "/" dropped), for the index.
    // gzip: the urlsets compressed (sitemap-1.xml.gz, ...) and named by
    // sitemap.xml, an index that is not, whatever their number.
    SitemapWriter(std::string file, std::string baseUrl, bool mobile, bool gzip, Limits limits = {});
    ~SitemapWriter();
    SitemapWriter(const SitemapWriter&) = delete;
    SitemapWriter& operator=(const SitemapWriter&) = delete;

    // Starts the first file. False with error set when it cannot be created.
    bool begin(std::string& error);

    // Appends whole url elements ("\n" line ends); a file that would pass
    // a limit is closed first and the next one begun.
    bool write(const std::string& entries);

    // From now on the entries written are kept in memory, not in the
    // files, until release: a check of every address on the live site
    // needs them all first.
    void holdEntries() { holding_ = true; }
    // The held entries' addresses (their <loc>, unescaped), in order.
    std::vector<std::string> heldAddresses() const;
    // Writes the held entries whose keep flag is set, in order, as they
    // were; the rest are dropped.
    bool release(const std::vector<bool>& keep);

    // Closes the last file, writes the index when there is more than one,
    // compresses, and renames everything into place. indexLastmod: the
    // index entries' lastmod (empty for none).
    bool finish(const std::string& indexLastmod, std::string& error);

    // Why the last write failed.
    const std::string& error() const { return error_; }

    // Removes every file this writer made that is not yet in place.
    void discard();

    // After finish: the files in place, in upload order (the index, or the
    // only file, last).
    const std::vector<std::string>& files() const { return finished_; }

    // The name sitemap.xml (or a part) gets with this writer's options.
    std::string finalName(int part) const { return nameOf(file_, part, gzip_); }  // part 0: sitemap.xml itself
    static std::string nameOf(const std::string& file, int part, bool gzip);

    // Removes what an earlier run left under the names a run at file may
    // write: sitemap.xml, its parts compressed or not, partial files.
    static void removeEarlierFiles(const std::string& file);

private:
    struct Part {
        std::string partial;  // where it is written until it is whole
        long urls = 0;
        unsigned long long bytes = 0;
    };
    bool open();
    bool close();
    bool put(const std::string& text);
    bool writeIndex(const std::string& lastmod);

    std::string file_;
    std::string site_;  // the base URL as the file holds it
    bool mobile_, gzip_;
    Limits limits_;
    std::string header_;
    std::vector<Part> parts_;
    std::ofstream out_;
    std::string error_;
    std::vector<std::string> finished_;
    bool holding_ = false;
    std::vector<std::string> held_;  // whole url elements
};
