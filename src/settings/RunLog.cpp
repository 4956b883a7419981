#include "settings/RunLog.h"

#include <cstdio>
#include <cstdlib>

#include "util/FileReplace.h"
#include "util/Lines.h"
#include "util/SmallFile.h"
#include "util/Utf8Path.h"

namespace run_log {

namespace {

// A field never holds the separators of the file.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

// The value of "key=value" among a line's fields, if there.
std::optional<std::string> field(const std::string& line, const std::string& key) {
    size_t at = line.find("\t" + key + "=");
    if (at == std::string::npos) return std::nullopt;
    at += key.size() + 2;
    return line.substr(at, line.find('\t', at) - at);
}

}  // namespace

std::string besideSettings(const std::string& settingsPath) {
    return pathToUtf8(utf8Path(settingsPath).parent_path() / kFileName);
}

std::string format(const RunRecord& r) {
    char numbers[192];
    std::snprintf(numbers, sizeof numbers, "pages=%ld\tfolders=%ld\tleft_out=%ld\tunreadable=%ld\tseconds=%.2f",
                  r.pages, r.folders, r.leftOut, r.unreadable, r.seconds);
    std::string line = oneLine(r.started) + (r.completed ? "\tcompleted\t" : "\tfailed\t") + numbers +
                       "\tsite=" + oneLine(r.site);
    if (!r.reason.empty()) line += "\treason=" + oneLine(r.reason);
    return line + "\n";
}

bool append(const std::string& path, const RunRecord& record, std::string& error) {
    std::string text;
    if (!readSmallFile(path, kMaxBytes * 2, text, error)) return false;
    text += format(record);
    // The oldest lines go first, whole lines only, to half the limit so
    // that the file is not rewritten at every run once it is full.
    if (text.size() > kMaxBytes) {
        size_t cut = text.find('\n', text.size() - kMaxBytes / 2);
        text.erase(0, cut == std::string::npos ? text.size() : cut + 1);
    }
    if (!replaceFile(path, text)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::optional<long> lastCompletedPages(const std::string& path, const std::string& site) {
    std::string text, error;
    if (!readSmallFile(path, kMaxBytes * 2, text, error)) return std::nullopt;
    std::optional<long> pages;
    for (const std::string& line : splitLines(text)) {
        if (line.find("\tcompleted\t") == std::string::npos || field(line, "site") != oneLine(site)) continue;
        if (auto value = field(line, "pages")) pages = std::strtol(value->c_str(), nullptr, 10);
    }
    return pages;
}

}  // namespace run_log
