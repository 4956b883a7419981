#include "sitemap/RobotsRules.h"

#include <algorithm>

#include "util/Ascii.h"
#include "util/PercentEncoding.h"

namespace {

// One spelling for the same address: escapes of unreserved characters
// undone, other escapes in upper case, bytes outside printable ASCII
// escaped.
std::string normalised(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && percent::hexValue(text[i + 1]) >= 0 &&
            percent::hexValue(text[i + 2]) >= 0) {
            const auto value =
                static_cast<unsigned char>(percent::hexValue(text[i + 1]) * 16 + percent::hexValue(text[i + 2]));
            if (percent::isUnreserved(value)) out += static_cast<char>(value);
            else percent::appendEncoded(out, value);
            i += 2;
        } else if (c <= 0x20 || c >= 0x7f) {
            percent::appendEncoded(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}



// "*" matches any run of characters, a "$" at the pattern's end the end of
// the path; everything else itself. Tracks every place in the path the
// pattern so far can end at.
bool matches(const std::string& path, const std::string& pattern) {
    std::vector<size_t> ends{0};
    std::vector<size_t> next;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char p = pattern[i];
        if (p == '$' && i + 1 == pattern.size())
            return std::find(ends.begin(), ends.end(), path.size()) != ends.end();
        next.clear();
        if (p == '*') {
            for (size_t at = ends.front(); at <= path.size(); ++at) next.push_back(at);
        } else {
            for (size_t at : ends)
                if (at < path.size() && path[at] == p) next.push_back(at + 1);
        }
        if (next.empty()) return false;
        ends.swap(next);
    }
    return true;
}

}  // namespace

RobotsRules RobotsRules::parse(std::string_view text, std::string_view agent) {
    RobotsRules forAll, forUs;
    bool ours = false;       // some group names our agent
    if (text.size() > kMaxBytes) text = text.substr(0, kMaxBytes);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    bool groupIsForAll = false;  // the current group names "*"
    bool groupIsOurs = false;    // the current group names our agent
    bool inRules = false;        // the current group's rules have begun
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = line.substr(0, line.find('#'));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string field = lowerAscii(trimmedAscii(line.substr(0, colon), " \t"));
        const std::string_view value = trimmedAscii(line.substr(colon + 1), " \t");
        if (field == "user-agent") {
            if (inRules) groupIsForAll = groupIsOurs = inRules = false;  // a new group
            if (value == "*") groupIsForAll = true;
            if (!agent.empty() && equalsIgnoreCaseAscii(value, agent)) ours = groupIsOurs = true;
        } else if (field == "allow" || field == "disallow") {
            inRules = true;
            // An empty Disallow forbids nothing; an empty Allow allows nothing more.
            if (value.empty()) continue;
            const Rule rule{normalised(value), field == "allow"};
            if (groupIsForAll) forAll.rules_.push_back(rule);
            if (groupIsOurs) forUs.rules_.push_back(rule);
        }
    }
    return ours ? forUs : forAll;
}

bool RobotsRules::allows(std::string_view path) const {
    const std::string target = normalised(path);
    if (target == "/robots.txt") return true;
    bool found = false;
    size_t longest = 0;
    bool allowed = true;
    for (const Rule& rule : rules_) {
        if (!matches(target, rule.pattern)) continue;
        const size_t length = rule.pattern.size();
        if (!found || length > longest) {
            found = true;
            longest = length;
            allowed = rule.allow;
        } else if (length == longest && rule.allow) {
            allowed = true;  // a tie goes to Allow
        }
    }
    return allowed;
}
