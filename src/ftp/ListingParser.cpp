#include "ftp/ListingParser.h"

#include <array>
#include <cctype>
#include <vector>

namespace listing {
namespace {

// Splits on CR LF when the text uses it, else on LF (a client may already
// have turned CR LF into LF). With CR LF, a name holding a bare LF stays
// inside its line and is dropped as unsafe; with LF only, it splits its line
// and the broken rest drops the entry before it (see dropBrokenNames).
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    const bool crlf = text.find("\r\n") != std::string_view::npos;
    const std::string_view sep = crlf ? "\r\n" : "\n";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(sep, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + sep.size();
    }
    return lines;
}

struct Token {
    size_t begin;
    size_t end;
};

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        tokens.push_back({start, i});
    }
    return tokens;
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isMonth(std::string_view s) {
    static constexpr std::array<std::string_view, 12> months = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    for (auto m : months)
        if (equalsIgnoreCase(s, m)) return true;
    return false;
}

bool isDayOfMonth(std::string_view s) { return s.size() <= 2 && allDigits(s); }

bool isTimeOrYear(std::string_view s) {
    if (s.size() == 4 && allDigits(s)) return true;
    size_t colon = s.find(':');
    return colon != std::string_view::npos && allDigits(s.substr(0, colon)) && allDigits(s.substr(colon + 1));
}

void addIfSafe(NameList& out, std::string_view name, EntryKind kind, std::string_view uniqueId = {}) {
    if (!isSafeName(name)) return;
    out.push_back({std::string(name), kind, std::string(uniqueId)});
}

// Parses line by line. A line that is no entry right after one that was
// means the earlier name held a line break: that entry goes too.
template <typename ParseLine>
void parseLines(std::string_view text, NameList& out, ParseLine parseLine) {
    bool previousAdded = false;
    for (auto line : splitLines(text)) {
        size_t before = out.size();
        bool wellFormed = parseLine(line, out);
        if (!wellFormed && previousAdded) out.pop_back();
        previousAdded = wellFormed && out.size() > before;
    }
}

bool parseMlsdLine(std::string_view line, NameList& out) {
    size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::string_view facts = line.substr(0, space);
    if (!facts.empty() && facts.back() != ';') return false;
    std::string_view name = line.substr(space + 1);
    EntryKind kind = EntryKind::Unknown;
    std::string_view unique;
    size_t pos = 0;
    while (pos < facts.size()) {
        size_t semi = facts.find(';', pos);
        std::string_view fact = facts.substr(pos, semi - pos);
        pos = semi + 1;
        size_t eq = fact.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = fact.substr(0, eq), value = fact.substr(eq + 1);
        if (equalsIgnoreCase(key, "type")) {
            if (equalsIgnoreCase(value, "file"))
                kind = EntryKind::File;
            else if (equalsIgnoreCase(value, "dir") || equalsIgnoreCase(value, "cdir") ||
                     equalsIgnoreCase(value, "pdir"))
                kind = EntryKind::Folder;
            else if (equalsIgnoreCase(value.substr(0, 13), "OS.unix=slink") ||
                     equalsIgnoreCase(value, "OS.unix=symlink"))
                kind = EntryKind::Link;
        } else if (equalsIgnoreCase(key, "unique")) {
            unique = value;
        }
    }
    addIfSafe(out, name, kind, unique);
    return true;
}

bool parseUnixLine(std::string_view line, NameList& out) {
    const std::string_view types = "-dlbcpsD";
    if (line.size() < 10 || types.find(line[0]) == std::string_view::npos) return false;
    auto tokens = tokenize(line);
    for (size_t i = 1; i + 2 < tokens.size(); ++i) {
        auto tok = [&](size_t k) { return line.substr(tokens[k].begin, tokens[k].end - tokens[k].begin); };
        if (!isMonth(tok(i)) || !isDayOfMonth(tok(i + 1)) || !isTimeOrYear(tok(i + 2))) continue;
        size_t nameStart = tokens[i + 2].end + 1;
        if (nameStart >= line.size()) return false;
        std::string_view name = line.substr(nameStart);
        EntryKind kind = EntryKind::File;
        if (line[0] == 'd' || line[0] == 'D') {
            kind = EntryKind::Folder;
        } else if (line[0] == 'l') {
            kind = EntryKind::Link;
            size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) name = name.substr(0, arrow);
        }
        addIfSafe(out, name, kind);
        return true;
    }
    return false;
}

// "01-02-24" or "01-02-2024"
bool isDosDate(std::string_view s) {
    return (s.size() == 8 || s.size() == 10) && s[2] == '-' && s[5] == '-' && allDigits(s.substr(0, 2)) &&
           allDigits(s.substr(3, 2)) && allDigits(s.substr(6));
}

// "10:11AM", "10:11PM" or "22:11"
bool isDosTime(std::string_view s) {
    if (s.size() == 7) {
        auto suffix = s.substr(5);
        if (!equalsIgnoreCase(suffix, "AM") && !equalsIgnoreCase(suffix, "PM")) return false;
        s = s.substr(0, 5);
    }
    return s.size() == 5 && s[2] == ':' && allDigits(s.substr(0, 2)) && allDigits(s.substr(3));
}

bool parseDosLine(std::string_view line, NameList& out) {
    auto tokens = tokenize(line);
    if (tokens.size() < 4) return false;
    auto tok = [&](size_t k) { return line.substr(tokens[k].begin, tokens[k].end - tokens[k].begin); };
    if (!isDosDate(tok(0)) || !isDosTime(tok(1))) return false;
    EntryKind kind;
    if (tok(2) == "<DIR>")
        kind = EntryKind::Folder;
    else if (allDigits(tok(2)))
        kind = EntryKind::File;
    else
        return false;
    addIfSafe(out, line.substr(tokens[3].begin), kind);
    return true;
}

}  // namespace

bool isSafeName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (c == '\r' || c == '\n' || c == '\0' || c == '/') return false;
    return true;
}

void parseMlsd(std::string_view text, NameList& out) { parseLines(text, out, parseMlsdLine); }

void parseList(std::string_view text, NameList& out) {
    parseLines(text, out, [](std::string_view line, NameList& names) {
        return parseUnixLine(line, names) || parseDosLine(line, names);
    });
}

bool parsePwdReply(std::string_view line, std::string& path) {
    size_t open = line.find('"');
    if (open == std::string_view::npos) return false;
    std::string result;
    for (size_t i = open + 1; i < line.size(); ++i) {
        if (line[i] != '"') {
            result += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
            result += '"';
            ++i;
        } else {
            path = result;
            return true;
        }
    }
    return false;
}

std::string mlstUniqueId(const std::vector<std::string>& replyLines) {
    for (const auto& line : replyLines) {
        if (line.empty() || line[0] != ' ') continue;
        NameList parsed;
        parseMlsd(line.substr(1, line.find(' ', 1) - 1) + " x", parsed);
        if (!parsed.empty()) return parsed.front().uniqueId;
    }
    return {};
}

void parseStatReply(const std::vector<std::string>& lines, NameList& out) {
    std::string text;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) && line[3] == '-')
            line.remove_prefix(4);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        text.append(line);
        text += "\r\n";
    }
    parseList(text, out);
}

}  // namespace listing
