#include "sitemap/SiteRules.h"

#include <chrono>
#include <ctime>

#include "sitemap/Location.h"
#include "sitemap/SitemapFile.h"
#include "walk/WalkRules.h"
#include "util/Ascii.h"

namespace {

bool endsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

bool isIndexPage(const std::string& name) { return name == "index.html" || name == "index.htm" || name == "index.php"; }

std::string pathBelow(const std::vector<std::string>& folders) {
    std::string path = "/";
    for (const auto& folder : folders) path += folder + "/";
    return path;
}

// The path of an absolute URL ("/" when it has none), without its fragment.
std::string urlPath(const std::string& url) {
    size_t scheme = url.find("://");
    size_t start = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (start == std::string::npos) return "/";
    return url.substr(start, url.find('#', start) - start);
}

}  // namespace

CivilDate CivilDate::todayUtc() {
    using namespace std::chrono;
    const year_month_day day{floor<days>(system_clock::now())};
    return {static_cast<int>(day.year()), static_cast<int>(static_cast<unsigned>(day.month())),
            static_cast<int>(static_cast<unsigned>(day.day()))};
}

SiteRules::SiteRules(const std::string& baseUrl, bool mobile, SitemapOptions options, CivilDate today)
    : baseUrl_(baseUrl), site_(location::encodeBaseUrl(baseUrl)), mobile_(mobile), options_(std::move(options)), today_(today) {
    for (const auto& ending : options_.extensions) {
        std::string lowered = lowerAscii(ending);
        if (lowered.front() != '.') lowered.insert(0, 1, '.');
        endings_.push_back(std::move(lowered));
    }
}

bool SiteRules::isPage(const std::string& name) const {
    if (endings_.empty()) return walk_rules::isPage(name);
    const std::string lowered = lowerAscii(name);
    for (const auto& ending : endings_)
        if (lowered.size() > ending.size() && endsWith(lowered, ending)) return true;
    return false;
}

bool SiteRules::globMatches(const std::string& pattern, const std::string& text) {
    size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p, ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;  // let the last "*" take one byte more
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool SiteRules::patternMatches(const std::string& pattern, const std::string& path, const std::string& name) {
    if (pattern.find('/') == std::string::npos) return globMatches(pattern, name);
    // "blog/*" means the folder at the top, as "/blog/*" does.
    const std::string anchored = pattern.front() == '/' || pattern.front() == '*' ? pattern : "/" + pattern;
    if (globMatches(anchored, path)) return true;
    // A folder's path also matches without its final "/": "/cgi-bin".
    return path.size() > 1 && path.back() == '/' && globMatches(anchored, path.substr(0, path.size() - 1));
}

bool SiteRules::excludedByPattern(const std::string& path, const std::string& name) const {
    for (const auto& pattern : options_.exclude)
        if (patternMatches(pattern, path, name)) return true;
    return false;
}

bool SiteRules::allowedByRobots(const std::string& url) const {
    return !options_.robots || !robots_ || robots_->allows(urlPath(url));
}

bool SiteRules::entersFolder(const std::vector<std::string>& folders, WalkStats& stats) const {
    if (options_.exclude.empty() || folders.empty()) return true;
    if (!excludedByPattern(pathBelow(folders), folders.back())) return true;
    ++stats.excludedByPattern;
    return false;
}

void SiteRules::appendEntries(const std::vector<std::string>& folders, const NameList& names, std::string& block,
                              WalkStats& stats) const {
    ++stats.foldersListed;
    const std::string folderPath = pathBelow(folders);
    bool folderWritten = false;  // its address, for an index page
    for (const auto& entry : names) {
        if (!isPage(entry.name)) continue;
        if (!options_.exclude.empty() && excludedByPattern(folderPath + entry.name, entry.name)) {
            ++stats.excludedByPattern;
            continue;
        }
        const bool asFolder = options_.indexAsFolder && isIndexPage(entry.name);
        if (asFolder && folderWritten) continue;  // one address, however many index pages
        std::string url = asFolder ? location::folderUrl(site_, folders)
                                   : location::pageUrl(site_, folders, entry.name);
        if (!allowedByRobots(url)) {
            ++stats.excludedByRobots;
            continue;
        }
        folderWritten = folderWritten || asFolder;
        const std::string lastmod = options_.lastmod ? lastmodText(entry.modified, today_) : std::string();
        block += SitemapFile::entry(location::xmlEscape(url), mobile_, lastmod);
        ++stats.pages;
    }
}

std::string SiteRules::nowUtcText() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> clock{now - day};
    ModifiedTime time;
    time.year = static_cast<short>(static_cast<int>(date.year()));
    time.month = static_cast<unsigned char>(static_cast<unsigned>(date.month()));
    time.day = static_cast<unsigned char>(static_cast<unsigned>(date.day()));
    time.hour = static_cast<unsigned char>(clock.hours().count());
    time.minute = static_cast<unsigned char>(clock.minutes().count());
    time.second = static_cast<unsigned char>(clock.seconds().count());
    time.utc = true;
    return lastmodText(time, {});
}

std::string SiteRules::lastmodText(const ModifiedTime& time, const CivilDate& today) {
    using namespace std::chrono;
    if (!time.known() || time.hour > 23 || time.minute > 59 || time.second > 60) return {};
    const month m{time.month};
    const day d{time.day};
    int y = time.year;
    if (y == 0) {
        // A recent file: this year's date, or last year's when this year's
        // lies past tomorrow (a day of room for servers ahead of UTC).
        const year_month_day tomorrow{sys_days{year{today.year} / today.month / today.day} + days{1}};
        y = static_cast<int>(tomorrow.year());
        if (month_day{m, d} > month_day{tomorrow.month(), tomorrow.day()}) --y;
        for (int tries = 0; tries < 8 && !year_month_day{year{y}, m, d}.ok(); ++tries) --y;  // 29 February
    }
    if (y < 1900 || y > 9999 || !year_month_day{year{y}, m, d}.ok()) return {};
    char text[32];
    if (time.utc)
        std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02uZ", y, unsigned{time.month}, unsigned{time.day},
                      unsigned{time.hour}, unsigned{time.minute}, time.second > 59 ? 59u : unsigned{time.second});
    else
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", y, unsigned{time.month}, unsigned{time.day});
    return text;
}
