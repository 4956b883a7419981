#include "settings/SettingsFile.h"

// Values are kept as UTF-8 bytes; the header needs no converter then.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // header-only use: the templates are defined here
#include <SimpleIni.h>

#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

#include <vector>

#include "settings/RunLog.h"
#include "util/Ascii.h"
#include "util/FileReplace.h"
#include "util/Lines.h"
#include "util/TextCodec.h"
#include "util/SmallFile.h"
#include "util/Utf8Path.h"

namespace {

using Field = std::string JobSettings::*;
constexpr std::pair<const char*, Field> kKeys[] = {
    {"host", &JobSettings::hostName},     {"id", &JobSettings::accountName}, {"pswd", &JobSettings::password},
    {"dir", &JobSettings::targetFolder},  {"http", &JobSettings::baseUrl},   {"chk1", &JobSettings::mobileFlag},
    {"chk2", &JobSettings::uploadFlag},
};

using Switch = bool SitemapOptions::*;
constexpr std::pair<const char*, Switch> kSwitchKeys[] = {
    {"lastmod", &SitemapOptions::lastmod},
    {"robots", &SitemapOptions::robots},
    {"index_as_folder", &SitemapOptions::indexAsFolder},
    {"gzip", &SitemapOptions::gzip},
    {"verify", &SitemapOptions::verify},
};
using List = std::vector<std::string> SitemapOptions::*;
constexpr std::pair<const char*, List> kListKeys[] = {
    {"exclude", &SitemapOptions::exclude},
    {"extensions", &SitemapOptions::extensions},
};

// Larger than any settings file: something else stands there.
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;

// The file's text as UTF-8. Missing: empty text, true. False with error set
// when something stands there that cannot be read whole as settings.
bool readAsUtf8(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    std::string bytes;
    if (!readSmallFile(path, kMaxFileBytes, bytes, error)) return false;
    if (text_codec::isValidUtf8(bytes)) {
        text = std::move(bytes);
        return true;
    }
    auto converted = text_codec::cp932ToUtf8(bytes);
    if (!converted) {
        error = path + " is neither UTF-8 nor Shift-JIS text";
        return false;
    }
    text = std::move(*converted);
    return true;
}

bool loadInto(CSimpleIniA& ini, const std::string& path, std::string& error) {
    ini.SetUnicode(true);
    ini.SetSpaces(false);
    ini.SetQuotes(true);  // blanks at either end of a value survive as "  value  "
    ini.SetMultiLine(false);
    std::string text;
    if (!readAsUtf8(path, text, error)) return false;
    // A carriage return that ends no line splits it for this parser and not
    // for others: such a file cannot be read (nor saved) as it stands.
    for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', cr + 1)) {
        if (cr + 1 < text.size() && text[cr + 1] != '\n') {
            error = path + ": a line holds a carriage return";
            return false;
        }
    }
    if (!text.empty() && ini.LoadData(text.data(), text.size()) < 0) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

// A value as stored: quotes around a value that itself starts and ends
// with one, since loading takes one pair off.
std::string storedForm(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return '"' + value + '"';
    return value;
}

// Comment lines at the end of the file, which the parser keeps only when a
// key follows them.
std::string trailingComments(const std::string& path) {
    std::string text, ignored;
    if (!readAsUtf8(path, text, ignored)) return {};
    std::vector<std::string> lines = splitLines(text);
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) lines.pop_back();
    size_t first = lines.size();
    while (first > 0) {
        const std::string& line = lines[first - 1];
        size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || (line[at] != ';' && line[at] != '#')) break;
        --first;
    }
    std::string comments;
    for (size_t i = first; i < lines.size(); ++i) comments += lines[i] + SI_NEWLINE_A;
    return comments;
}

std::string trimmed(const std::string& text) { return std::string(trimmedAscii(text, " \t\r")); }

// A line as the parser understands it: "[section]", "key=value" (blanks
// around both and one pair of quotes dropped), or a comment as it stands.
std::string normalized(const std::string& line) {
    std::string t = trimmed(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') return t;
    if (t[0] == '[' && t.back() == ']') return "[" + trimmed(t.substr(1, t.size() - 2)) + "]";
    size_t eq = t.find('=');
    if (eq == std::string::npos) return t;
    std::string value = trimmed(t.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return lowerAscii(trimmed(t.substr(0, eq))) + "=" + value;
}

// The first line of the old file that the new one no longer holds (the
// seven keys of our section aside), or empty: the parser drops lines it
// cannot read, and those must not be lost by a save.
std::string firstLostLine(const std::string& original, const std::string& content) {
    std::vector<std::string> kept;
    for (const auto& line : splitLines(content)) kept.push_back(normalized(line));
    std::string section;
    for (const auto& line : splitLines(original)) {
        std::string n = normalized(line);
        if (n.empty()) continue;
        if (n[0] == '[') section = lowerAscii(n);
        bool ours = false;
        auto isKey = [&](const char* key) { return n.rfind(std::string(key) + "=", 0) == 0; };
        for (const auto& [key, field] : kKeys)
            ours = ours || (section == "[" + lowerAscii(SettingsFile::kSection) + "]" && isKey(key));
        const bool inOptions = section == "[" + lowerAscii(SettingsFile::kOptionsSection) + "]";
        for (const auto& [key, field] : kSwitchKeys) ours = ours || (inOptions && isKey(key));
        for (const auto& [key, field] : kListKeys) ours = ours || (inOptions && isKey(key));
        if (ours || n.rfind(std::string(SettingsFile::kConnectionsKey) + "=", 0) == 0) continue;
        if (std::find(kept.begin(), kept.end(), n) == kept.end()) return trimmed(line);
    }
    return {};
}

void setOptions(CSimpleIniA& ini, const SitemapOptions& options) {
    for (const auto& [key, field] : kSwitchKeys) ini.SetValue(SettingsFile::kOptionsSection, key, options.*field ? "1" : "0");
    for (const auto& [key, field] : kListKeys)
        ini.SetValue(SettingsFile::kOptionsSection, key, storedForm(SitemapOptions::joinList(options.*field)).c_str());
}

// Loads the file, applies change and writes it back, keeping what it held
// besides.
// The text as the file was written before: its line ends (CR LF or LF;
// a new file gets the system's own) and its encoding (Shift-JIS stays
// Shift-JIS, for the older tools that read it, unless a value has no
// Shift-JIS form: then UTF-8, and notice says so).
std::string inOriginalForm(const std::string& path, std::string text, std::string& notice) {
    std::string raw, ignored;
    bool missing = false;
    readSmallFile(path, kMaxFileBytes, raw, ignored, &missing);
    if (missing || raw.empty()) return text;
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    if (raw.find("\r\n") != std::string::npos) {
        text.clear();
        for (char c : lf) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    } else {
        text = lf;
    }
    if (text_codec::isValidUtf8(raw)) return text;
    if (auto shiftJis = text_codec::utf8ToCp932(text)) return *shiftJis;
    notice = path + " was Shift-JIS; a value has no Shift-JIS form, so it is now written in UTF-8";
    return text;
}

bool rewrite(const std::string& path, const std::function<void(CSimpleIniA&)>& change, std::string* error,
             std::string& notice) {
    notice.clear();
    // A file that could not be read whole is never written over: what it
    // holds would be lost.
    CSimpleIniA ini;
    std::string why;
    if (!loadInto(ini, path, why)) {
        if (error) *error = why + "; it was left as it is";
        return false;
    }
    change(ini);
    std::string content;
    if (ini.Save(content) < 0) return false;
    content += trailingComments(path);
    std::string original, ignored;
    readAsUtf8(path, original, ignored);
    std::string lost = firstLostLine(original, content);
    if (!lost.empty()) {
        if (error) *error = path + " holds a line that is no setting (\"" + lost + "\"); it was left as it is";
        return false;
    }
    if (!replaceFile(path, inOriginalForm(path, content, notice))) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

std::string SettingsFile::pathIn(const std::string& folder) {
    return pathToUtf8(utf8Path(folder) / kFileName);
}

std::string SettingsFile::userFolder(const char* xdgConfigHome, const char* home) {
    // POSIX paths, joined as such on every system.
    if (xdgConfigHome && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/quillomar";
    if (home && home[0] == '/') return std::string(home) + "/.config/quillomar";
    return {};
}

std::string SettingsFile::notSavedMessage() const {
    return "設定を保存できませんでした。フォルダ「" + pathToUtf8(utf8Path(path_).parent_path()) +
           "」に SETTING.INI を書き込めません。\n書き込めるフォルダ（ドキュメントなど）にプログラムを置いて、"
           "そこから起動してください。";
}

std::string SettingsFile::knownHostsBeside(const std::string& settingsPath) {
    return pathToUtf8(utf8Path(settingsPath).parent_path() / "known_hosts");
}

bool SettingsFile::load(JobSettings& settings, std::string* error) const {
    CSimpleIniA ini;
    std::string why;
    bool ok = loadInto(ini, path_, why);
    if (!ok) ini.Reset();
    if (error) *error = why;
    for (const auto& [key, field] : kKeys)
        settings.*field = text_codec::cutUtf8(ini.GetValue(kSection, key, ""), kMaxValueBytes);
    settings.connections = parseConnections(ini.GetValue(kSection, kConnectionsKey, ""));
    settings.verifyRequests = parseCount(ini.GetValue(kSection, kVerifyRequestsKey, ""),
                                         JobSettings::kDefaultVerifyRequests, 1, JobSettings::kMaxVerifyRequests);
    settings.sitemap = SitemapOptions{};
    for (const auto& [key, field] : kSwitchKeys)
        settings.sitemap.*field = flagTicked(ini.GetValue(kOptionsSection, key, ""));
    for (const auto& [key, field] : kListKeys)
        settings.sitemap.*field =
            SitemapOptions::splitList(text_codec::cutUtf8(ini.GetValue(kOptionsSection, key, ""), kMaxValueBytes));
    return ok;
}

int SettingsFile::parseConnections(const std::string& text) {
    return parseCount(text, JobSettings::kDefaultConnections, 0, JobSettings::kMaxConnections);
}

// A count as the user wrote it: anything but digits gives the default, and
// a number past the limits the nearest limit.
int SettingsFile::parseCount(const std::string& text, int fallback, int least, int most) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return fallback;
    return std::clamp(std::stoi(text), least, most);
}

bool SettingsFile::save(const JobSettings& settings, std::string* error) const {
    return rewrite(
        path_, [&](CSimpleIniA& ini) {
            for (const auto& [key, field] : kKeys) ini.SetValue(kSection, key, storedForm(settings.*field).c_str());
            // The options' section only once an option was set: a file of
            // someone who uses none stays as it was.
            if (ini.GetSection(kOptionsSection) || !(settings.sitemap == SitemapOptions{}))
                setOptions(ini, settings.sitemap);
        },
        error, notice_);
}

bool SettingsFile::saveOptions(const SitemapOptions& options, std::string* error) const {
    return rewrite(path_, [&](CSimpleIniA& ini) { setOptions(ini, options); }, error, notice_);
}

bool SettingsFile::flagTicked(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        if (text[i] != '0') return true;
    return false;
}

void SettingsFile::prepareRun(JobSettings& settings) const {
    if (const char* authority = std::getenv("QUILLOMAR_CA_FILE")) settings.caFile = authority;
    settings.knownHostsFile = knownHostsBeside(path_);
    settings.runLogFile = run_log::besideSettings(path_);
}
