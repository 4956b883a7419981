#include "sitemap/SitemapWriter.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>

#include "sitemap/Location.h"
#include "sitemap/SitemapFile.h"
#include "util/Utf8Path.h"

namespace {

constexpr const char* kUrlEnd = "</url>\n";

// Bytes on disk: every "\n" becomes CR LF.
unsigned long long diskBytes(const std::string& text, size_t from, size_t to) {
    return static_cast<unsigned long long>(to - from + static_cast<size_t>(std::count(
        text.begin() + static_cast<std::ptrdiff_t>(from), text.begin() + static_cast<std::ptrdiff_t>(to), '\n')));
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Compresses from into a new file beside to's name; returns its path, or
// empty with error set.
std::string compressed(const std::string& from, const std::string& to, std::string& error) {
    std::string partial = SitemapFile::createPartial(to, error);
    if (partial.empty()) return {};
    std::ifstream in(utf8Path(from), std::ios::binary);
    std::ofstream out(utf8Path(partial), std::ios::binary | std::ios::trunc);
    z_stream zs{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    bool ok = in && out && deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    std::vector<char> input(1 << 16), output(1 << 16);
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        in.read(input.data(), static_cast<std::streamsize>(input.size()));
        if (in.bad()) ok = false;
        flush = in.eof() ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(input.data());
        zs.avail_in = static_cast<uInt>(in.gcount());
        do {
            zs.next_out = reinterpret_cast<Bytef*>(output.data());
            zs.avail_out = static_cast<uInt>(output.size());
            if (deflate(&zs, flush) == Z_STREAM_ERROR) ok = false;
            out.write(output.data(), static_cast<std::streamsize>(output.size() - zs.avail_out));
        } while (ok && zs.avail_out == 0);
    }
    deflateEnd(&zs);
    out.close();
    if (ok && !out.fail()) return partial;
    error = "cannot compress " + from;
    SitemapFile::remove(partial);
    return {};
}

}  // namespace

SitemapWriter::SitemapWriter(std::string file, std::string baseUrl, bool mobile, bool gzip, Limits limits)
    : file_(std::move(file)), site_(location::encodeBaseUrl(baseUrl)), mobile_(mobile), gzip_(gzip), limits_(limits) {}

SitemapWriter::~SitemapWriter() { discard(); }

std::string SitemapWriter::nameOf(const std::string& file, int part, bool gzip) {
    const std::string suffix = gzip ? ".gz" : "";
    if (part == 0) return file + suffix;
    const std::string stem = file.size() > 4 ? file.substr(0, file.size() - 4) : file;  // without ".xml"
    return stem + "-" + std::to_string(part) + ".xml" + suffix;
}

bool SitemapWriter::begin(std::string& error) {
    header_ = SitemapFile::header(mobile_);
    if (open()) return true;
    error = error_;
    return false;
}

bool SitemapWriter::open() {
    Part part;
    part.partial = SitemapFile::createPartial(file_, error_);
    if (part.partial.empty()) return false;
    parts_.push_back(part);
    out_.open(utf8Path(part.partial), std::ios::binary | std::ios::trunc);
    if (!out_) {
        error_ = "cannot write " + part.partial;
        return false;
    }
    return put(header_);
}

bool SitemapWriter::put(const std::string& text) {
    const std::string bytes = SitemapFile::onDisk(text);
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    parts_.back().bytes += bytes.size();
    if (out_.fail()) error_ = "cannot write " + parts_.back().partial;
    return !out_.fail();
}

bool SitemapWriter::close() {
    bool ok = put(SitemapFile::kClosingTag);
    out_.close();
    if (out_.fail()) error_ = "cannot write " + parts_.back().partial;
    return ok && !out_.fail();
}

bool SitemapWriter::write(const std::string& entries) {
    if (parts_.empty() || !out_.is_open()) return false;
    if (holding_) {
        for (size_t at = 0; at < entries.size();) {
            size_t next = entries.find(kUrlEnd, at);
            next = next == std::string::npos ? entries.size() : next + std::char_traits<char>::length(kUrlEnd);
            held_.push_back(entries.substr(at, next - at));
            at = next;
        }
        return true;
    }
    const unsigned long long closing = SitemapFile::onDisk(SitemapFile::kClosingTag).size();
    size_t start = 0;  // of the entries not yet written
    size_t end = 0;    // of the entries that fit
    Part* part = &parts_.back();
    long urls = part->urls;
    unsigned long long bytes = part->bytes;
    while (end < entries.size()) {
        size_t next = entries.find(kUrlEnd, end);
        next = next == std::string::npos ? entries.size() : next + std::char_traits<char>::length(kUrlEnd);
        const unsigned long long size = diskBytes(entries, end, next);
        if (urls > 0 && (urls + 1 > limits_.urls || bytes + size + closing > limits_.bytes)) {
            // This one would pass a limit: what fits goes to this file, the
            // rest to a new one (a single entry too large for any file
            // still gets one).
            if (!put(entries.substr(start, end - start))) return false;
            part->urls = urls;
            if (!close() || !open()) return false;
            part = &parts_.back();
            urls = part->urls;
            bytes = part->bytes;
            start = end;
        }
        ++urls;
        bytes += size;
        end = next;
    }
    if (!put(entries.substr(start))) return false;
    part->urls = urls;
    return true;
}

std::vector<std::string> SitemapWriter::heldAddresses() const {
    std::vector<std::string> addresses;
    addresses.reserve(held_.size());
    for (const auto& entry : held_) {
        const size_t start = entry.find("<loc>");
        const size_t end = entry.find("</loc>");
        addresses.push_back(start == std::string::npos || end == std::string::npos
                                ? std::string()
                                : location::xmlUnescape(entry.substr(start + 5, end - start - 5)));
    }
    return addresses;
}

bool SitemapWriter::release(const std::vector<bool>& keep) {
    holding_ = false;
    std::string kept;
    for (size_t i = 0; i < held_.size(); ++i) {
        if (i < keep.size() && keep[i]) kept += held_[i];
        // Written in pieces, as the walk would: a file's limits are judged alike.
        if (kept.size() >= (1u << 20)) {
            if (!write(kept)) return false;
            kept.clear();
        }
    }
    held_.clear();
    held_.shrink_to_fit();
    return kept.empty() || write(kept);
}

bool SitemapWriter::writeIndex(const std::string& lastmod) {
    std::string text = SitemapFile::indexHeader();
    for (size_t i = 1; i <= parts_.size(); ++i)
        text += SitemapFile::indexEntry(location::xmlEscape(site_ + "/" + baseName(finalName(static_cast<int>(i)))),
                                        lastmod);
    text += SitemapFile::kIndexClosingTag;
    Part index;
    index.partial = SitemapFile::createPartial(file_, error_);
    if (index.partial.empty()) return false;
    parts_.push_back(index);
    out_.open(utf8Path(index.partial), std::ios::binary | std::ios::trunc);
    bool ok = out_ && put(text);
    out_.close();
    if (!ok || out_.fail()) {
        error_ = "cannot write " + index.partial;
        return false;
    }
    return true;
}

bool SitemapWriter::finish(const std::string& indexLastmod, std::string& error) {
    bool ok = !parts_.empty() && out_.is_open() && close();
    const size_t urlsets = parts_.size();
    // Compressed files are named by an index that is not: sitemap.xml stays
    // the address search engines know, and no stale one is left beside.
    const bool indexed = urlsets > 1 || gzip_;
    if (ok && indexed) ok = writeIndex(indexLastmod);
    for (size_t i = 0; ok && gzip_ && i < urlsets; ++i) {
        std::string packed = compressed(parts_[i].partial, finalName(static_cast<int>(i) + 1), error_);
        ok = !packed.empty();
        if (ok) {
            SitemapFile::remove(parts_[i].partial);
            parts_[i].partial = packed;
        }
    }
    // Parts first: an index in place names only files that are.
    for (size_t i = 0; ok && i < parts_.size(); ++i) {
        const std::string name = !indexed ? finalName(0) : i < urlsets ? finalName(static_cast<int>(i) + 1)
                                                                       : nameOf(file_, 0, false);
        ok = SitemapFile::commit(parts_[i].partial, name, error_);
        if (ok) {
            parts_[i].partial.clear();
            finished_.push_back(name);
        }
    }
    if (!ok) {
        error = error_;
        discard();
    }
    return ok;
}

void SitemapWriter::discard() {
    if (out_.is_open()) out_.close();
    for (auto& part : parts_) {
        if (!part.partial.empty()) SitemapFile::remove(part.partial);
        part.partial.clear();
    }
}

void SitemapWriter::removeEarlierFiles(const std::string& file) {
    for (bool gzip : {false, true}) {
        SitemapFile::remove(nameOf(file, 0, gzip));
        for (int part = 1; std::filesystem::exists(utf8Path(nameOf(file, part, gzip))); ++part)
            SitemapFile::remove(nameOf(file, part, gzip));
    }
    SitemapFile::removeLeftPartials(file);  // what a killed run left half written
}
