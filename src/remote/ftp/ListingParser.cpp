#include "remote/ftp/ListingParser.h"

#include "util/Ascii.h"
#include "util/Lines.h"

#include <array>
#include <cctype>
#include <vector>

namespace listing {
namespace {

// Splits on CR LF when the text uses it, else on LF (a client may already
// have turned CR LF into LF). With CR LF, a name holding a bare LF stays
// inside its line and is dropped as unsafe; with LF only, it splits its line
// and the broken rest drops the entry before it (see dropBrokenNames).
std::vector<std::string_view> listingLines(std::string_view text) {
    const bool crlf = text.find("\r\n") != std::string_view::npos;
    std::vector<std::string_view> lines;
    for (std::string_view line : splitAt(text, crlf ? "\r\n" : "\n"))
        if (!line.empty()) lines.push_back(line);
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

// 1 to 12 for an English month's short name, in any case; 0 otherwise.
int monthOfName(std::string_view s) {
    static constexpr std::array<std::string_view, 12> months = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    for (size_t m = 0; m < months.size(); ++m)
        if (equalsIgnoreCaseAscii(s, months[m])) return static_cast<int>(m) + 1;
    return 0;
}

bool isMonth(std::string_view s) { return monthOfName(s) != 0; }

// Digits followed by a suffix; digits only when the suffix is empty.
bool digitsThen(std::string_view s, std::string_view suffix, size_t minDigits, size_t maxDigits) {
    if (s.size() < suffix.size() || s.substr(s.size() - suffix.size()) != suffix) return false;
    auto digits = s.substr(0, s.size() - suffix.size());
    return digits.size() >= minDigits && digits.size() <= maxDigits && allDigits(digits);
}

// The month word of Japanese listings, "月" in UTF-8 or in Shift-JIS.
constexpr std::string_view kMonthUtf8 = "\xe6\x9c\x88", kMonthSjis = "\x8c\x8e";
constexpr std::string_view kYearUtf8 = "\xe5\xb9\xb4", kYearSjis = "\x94\x4e";
constexpr std::string_view kDayUtf8 = "\xe6\x97\xa5", kDaySjis = "\x93\xfa";

bool isJapaneseMonth(std::string_view s) {
    return digitsThen(s, kMonthUtf8, 1, 2) || digitsThen(s, kMonthSjis, 1, 2);
}

// "2023年12月"
bool isJapaneseYearMonth(std::string_view s) {
    for (auto [year, month] : {std::pair{kYearUtf8, kMonthUtf8}, std::pair{kYearSjis, kMonthSjis}}) {
        size_t at = s.find(year);
        if (at == 4 && allDigits(s.substr(0, 4)) && isJapaneseMonth(s.substr(4 + year.size())) &&
            s.substr(4 + year.size()).find(month) != std::string_view::npos)
            return true;
    }
    return false;
}

bool isDayOfMonth(std::string_view s) {
    return (s.size() <= 2 && allDigits(s)) || digitsThen(s, kDayUtf8, 1, 2) || digitsThen(s, kDaySjis, 1, 2);
}

bool isClock(std::string_view s) {  // "12:00", "12:00:59", "12:00:59.123456789"
    size_t colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || !allDigits(s.substr(0, colon))) return false;
    auto rest = s.substr(colon + 1);
    size_t end = rest.find_first_not_of("0123456789:.");
    return end == std::string_view::npos && rest.size() >= 2 && allDigits(rest.substr(0, 2));
}

bool isTimeOrYear(std::string_view s) { return (s.size() == 4 && allDigits(s)) || isClock(s); }

bool isIsoDate(std::string_view s) {  // "2023-12-08" or, for recent files, "12-08"
    if (s.size() == 10) return s[4] == '-' && s[7] == '-' && allDigits(s.substr(0, 4)) &&
                               allDigits(s.substr(5, 2)) && allDigits(s.substr(8));
    return s.size() == 5 && s[2] == '-' && allDigits(s.substr(0, 2)) && allDigits(s.substr(3));
}

bool isZone(std::string_view s) {  // "+0900"
    return s.size() == 5 && (s[0] == '+' || s[0] == '-') && allDigits(s.substr(1));
}

// The number its leading digits spell (at most 4 of them).
int leadingNumber(std::string_view s) {
    int n = 0;
    for (size_t i = 0; i < s.size() && i < 4 && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        n = n * 10 + (s[i] - '0');
    return n;
}

int monthNumber(std::string_view s) {
    const int named = monthOfName(s);
    return named ? named : leadingNumber(s);  // "12月"
}

void setClock(ModifiedTime& time, std::string_view clock) {  // "17:35" or "17:35:01.5"
    time.hour = static_cast<unsigned char>(leadingNumber(clock));
    size_t colon = clock.find(':');
    time.minute = static_cast<unsigned char>(leadingNumber(clock.substr(colon + 1)));
    size_t second = clock.find(':', colon + 1);
    if (second != std::string_view::npos) time.second = static_cast<unsigned char>(leadingNumber(clock.substr(second + 1)));
}

ModifiedTime dateOf(int year, int month, int day) {
    ModifiedTime time;
    if (month < 1 || month > 12 || day < 1 || day > 31) return time;
    time.year = static_cast<short>(year);
    time.month = static_cast<unsigned char>(month);
    time.day = static_cast<unsigned char>(day);
    return time;
}

// The time that the n tokens at i spell (see dateTokens).
ModifiedTime listingTime(const std::vector<std::string_view>& tok, size_t i, size_t n) {
    ModifiedTime time;
    if (isIsoDate(tok[i])) {
        std::string_view d = tok[i];
        time = d.size() == 10 ? dateOf(leadingNumber(d), leadingNumber(d.substr(5)), leadingNumber(d.substr(8)))
                              : dateOf(0, leadingNumber(d), leadingNumber(d.substr(3)));
        if (n > 1) setClock(time, tok[i + 1]);
    } else if (isJapaneseYearMonth(tok[i])) {
        size_t year = tok[i].find(kYearUtf8) != std::string_view::npos ? kYearUtf8.size() : kYearSjis.size();
        time = dateOf(leadingNumber(tok[i]), leadingNumber(tok[i].substr(4 + year)), leadingNumber(tok[i + 1]));
        if (n > 2) setClock(time, tok[i + 2]);
    } else {
        bool clock = isClock(tok[i + 2]);
        time = dateOf(clock ? 0 : leadingNumber(tok[i + 2]), monthNumber(tok[i]), leadingNumber(tok[i + 1]));
        if (clock) setClock(time, tok[i + 2]);
    }
    return time;
}

// An MLSD "modify" fact: YYYYMMDDHHMMSS[.sss], in UTC.
ModifiedTime mlsdTime(std::string_view value) {
    if (value.size() < 14 || !allDigits(value.substr(0, 14))) return {};
    auto two = [&](size_t at) { return (value[at] - '0') * 10 + (value[at + 1] - '0'); };
    ModifiedTime time = dateOf(leadingNumber(value), two(4), two(6));
    time.hour = static_cast<unsigned char>(two(8));
    time.minute = static_cast<unsigned char>(two(10));
    time.second = static_cast<unsigned char>(two(12));
    time.utc = time.known();
    return time;
}

// How many tokens from index i form a listing's date, or 0 when none does.
// Forms: "Jan 1 12:00", "12月 8 17:35", "2023年12月 8日", "2023-12-08 17:35",
// "2023-12-08 17:35:01.000 +0900", "12-08 17:35", "2023-12-08".
size_t dateTokens(const std::vector<std::string_view>& tok, size_t i) {
    auto at = [&](size_t k) { return i + k < tok.size() ? tok[i + k] : std::string_view(); };
    if ((isMonth(at(0)) || isJapaneseMonth(at(0))) && isDayOfMonth(at(1)) && isTimeOrYear(at(2))) return 3;
    if (isJapaneseYearMonth(at(0)) && isDayOfMonth(at(1))) return isClock(at(2)) ? 3 : 2;
    if (isIsoDate(at(0))) {
        if (!isClock(at(1))) return at(0).size() == 10 ? 1 : 0;
        return isZone(at(2)) ? 3 : 2;
    }
    return 0;
}

bool isSize(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789,") == std::string_view::npos && allDigits(s.substr(0, 1));
}

void addIfSafe(NameList& out, std::string_view name, EntryKind kind, std::string_view uniqueId = {},
               std::string_view facts = {}, ModifiedTime modified = {}, long long size = -1) {
    if (!isSafeName(name)) return;
    out.push_back({std::string(name), kind, std::string(uniqueId), std::string(facts), modified, size});
}

// "1,658,880" or "4096"; -1 past what a size can be.
long long sizeOf(std::string_view s) {
    long long size = 0;
    for (char c : s) {
        if (c == ',') continue;
        if (size > (1LL << 50)) return -1;
        size = size * 10 + (c - '0');
    }
    return size;
}

// Lines that listings carry besides entries: "total 12", "合計 12", the
// trailers of DOS listings, blank lines.
bool isListingNoise(std::string_view line) {
    size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos) return true;
    line = line.substr(first);
    auto startsWith = [&](std::string_view p) { return line.substr(0, p.size()) == p; };
    if (startsWith("total ") || startsWith("\xe5\x90\x88\xe8\xa8\x88 ") || startsWith("\x8d\x87\x8c\x76 "))
        return true;
    for (std::string_view trailer : {"File(s)", "Dir(s)", "bytes free", "file(s)", "dir(s)"})
        if (line.find(trailer) != std::string_view::npos && std::isdigit(static_cast<unsigned char>(line[0])))
            return true;
    return false;
}

// Parses line by line. With LF line ends only, a name's own line break
// splits its line: a line that is no entry (and no usual extra line) right
// after one that was means that, and the entry before it goes too.
template <typename ParseLine>
size_t parseLines(std::string_view text, NameList& out, ParseLine parseLine) {
    const bool crlf = text.find("\r\n") != std::string_view::npos;
    bool previousAdded = false;
    size_t unreadable = 0;
    for (auto line : listingLines(text)) {
        size_t before = out.size();
        bool wellFormed = parseLine(line, out);
        if (!wellFormed && isListingNoise(line)) {
            previousAdded = false;
            continue;
        }
        if (!wellFormed) ++unreadable;
        if (!wellFormed && previousAdded && !crlf) out.pop_back();
        previousAdded = wellFormed && out.size() > before;
    }
    return unreadable;
}

bool parseMlsdLine(std::string_view line, NameList& out) {
    size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::string_view facts = line.substr(0, space);
    if (!facts.empty() && facts.back() != ';') return false;
    std::string_view name = line.substr(space + 1);
    EntryKind kind = EntryKind::Unknown;
    std::string_view unique;
    ModifiedTime modified;
    size_t pos = 0;
    while (pos < facts.size()) {
        size_t semi = facts.find(';', pos);
        std::string_view fact = facts.substr(pos, semi - pos);
        pos = semi + 1;
        size_t eq = fact.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = fact.substr(0, eq), value = fact.substr(eq + 1);
        if (equalsIgnoreCaseAscii(key, "type")) {
            if (equalsIgnoreCaseAscii(value, "file"))
                kind = EntryKind::File;
            else if (equalsIgnoreCaseAscii(value, "dir") || equalsIgnoreCaseAscii(value, "cdir") ||
                     equalsIgnoreCaseAscii(value, "pdir"))
                kind = EntryKind::Folder;
            else if (equalsIgnoreCaseAscii(value.substr(0, 13), "OS.unix=slink") ||
                     equalsIgnoreCaseAscii(value, "OS.unix=symlink"))
                kind = EntryKind::Link;
        } else if (equalsIgnoreCaseAscii(key, "unique")) {
            unique = value;
        } else if (equalsIgnoreCaseAscii(key, "modify")) {
            modified = mlsdTime(value);
        }
    }
    addIfSafe(out, name, kind, unique, facts, modified);
    return true;
}

bool parseUnixLine(std::string_view line, NameList& out) {
    const std::string_view types = "-dlbcpsD";
    if (line.size() < 10 || types.find(line[0]) == std::string_view::npos) return false;
    auto tokens = tokenize(line);
    std::vector<std::string_view> tok;
    for (const auto& t : tokens) tok.push_back(line.substr(t.begin, t.end - t.begin));
    // The date follows the size. Owners and groups may look like dates
    // ("may 12 1024"), so a date where the usual columns put it (after
    // mode, links, owner, [group,] size) wins over an earlier one.
    size_t found = 0, count = 0;
    for (size_t i = 2; i < tok.size(); ++i) {
        size_t n = dateTokens(tok, i);
        if (n == 0 || i + n >= tok.size() || !isSize(tok[i - 1])) continue;
        if (found == 0 || (found < 4 && i >= 4)) {
            found = i;
            count = n;
        }
        if (found >= 4) break;
    }
    if (found == 0) return false;
    size_t nameStart = tokens[found + count - 1].end + 1;
    if (nameStart >= line.size()) return false;
    std::string_view name = line.substr(nameStart);
    EntryKind kind = EntryKind::File;
    if (line[0] == 'd' || line[0] == 'D') {
        kind = EntryKind::Folder;
    } else if (line[0] == 'l') {
        kind = EntryKind::Link;
        size_t arrow = name.find(" -> ");
        if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    } else if (line[0] != '-') {
        kind = EntryKind::Other;  // device, pipe, socket: never a page or a folder
    }
    addIfSafe(out, name, kind, {}, line.substr(0, nameStart), listingTime(tok, found, count), sizeOf(tok[found - 1]));
    return true;
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
        if (!equalsIgnoreCaseAscii(suffix, "AM") && !equalsIgnoreCaseAscii(suffix, "PM")) return false;
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
    else if (isSize(tok(2)))
        kind = EntryKind::File;
    else
        return false;
    // MM-DD-YY (70 to 99 in the 1900s) or MM-DD-YYYY.
    std::string_view date = tok(0);
    int year = leadingNumber(date.substr(6));
    if (date.size() == 8) year += year >= 70 ? 1900 : 2000;
    ModifiedTime time = dateOf(year, leadingNumber(date), leadingNumber(date.substr(3)));
    std::string_view clock = tok(1);
    int hour = leadingNumber(clock) % 12;
    if (clock.size() == 7 && equalsIgnoreCaseAscii(clock.substr(5), "PM")) hour += 12;
    time.hour = static_cast<unsigned char>(clock.size() == 7 ? hour : leadingNumber(clock));
    time.minute = static_cast<unsigned char>(leadingNumber(clock.substr(3)));
    addIfSafe(out, line.substr(tokens[3].begin), kind, {}, line.substr(0, tokens[3].begin), time);
    return true;
}

}  // namespace

bool isSafeName(std::string_view name) {
    return !name.empty() && fitsInCommand(name) && name.find('/') == std::string_view::npos;
}

size_t parseMlsd(std::string_view text, NameList& out) { return parseLines(text, out, parseMlsdLine); }

size_t parseList(std::string_view text, NameList& out) {
    return parseLines(text, out, [](std::string_view line, NameList& names) {
        return parseUnixLine(line, names) || parseDosLine(line, names);
    });
}

bool fitsInCommand(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string telnetEscaped(std::string_view command) {
    std::string out;
    for (char c : command) {
        out += c;
        if (c == '\xff') out += c;
    }
    return out;
}

bool isUsablePath(std::string_view path) { return !path.empty() && path[0] == '/' && fitsInCommand(path); }

std::optional<std::string> usablePathFromPwdReply(std::string_view line) {
    std::string path;
    if (line.substr(0, 3) != "257" || !parsePwdReply(line, path) || !isUsablePath(path)) return std::nullopt;
    return path;
}

bool parsePwdReply(std::string_view line, std::string& path) {
    size_t open = line.find('"');
    if (open == std::string_view::npos) return false;
    std::string result;
    for (size_t i = open + 1; i < line.size(); ++i) {
        if (line[i] == '\xff' && i + 1 < line.size() && line[i + 1] == '\xff') {
            result += line[i++];  // a 0xFF doubled on the wire (Telnet's IAC), as vsftpd does
        } else if (line[i] != '"') {
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

bool offersFeature(const std::vector<std::string>& replyLines, std::string_view feature) {
    bool inFeatures = false;
    for (const auto& line : replyLines) {
        if (line.rfind("211", 0) == 0) {
            inFeatures = line.size() > 3 && line[3] == '-';
            continue;
        }
        if (!inFeatures) continue;
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const std::string name = line.substr(start, line.find(' ', start) - start);
        if (lowerAscii(name) == lowerAscii(feature)) return true;
    }
    return false;
}

size_t parseStatReply(const std::vector<std::string>& lines, NameList& out) {
    std::string text;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) && line[3] == '-')
            line.remove_prefix(4);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        text.append(line);
        text += "\r\n";
    }
    return parseList(text, out);
}

}  // namespace listing
