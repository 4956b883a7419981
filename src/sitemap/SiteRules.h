#pragma once

#include <optional>
#include <string>
#include <vector>

#include "remote/NameList.h"
#include "settings/SitemapOptions.h"
#include "sitemap/RobotsRules.h"
#include "walk/WalkResult.h"

// A calendar day in UTC.
struct CivilDate {
    int year = 1970, month = 1, day = 1;
    static CivilDate todayUtc();
};

// Which names of a folder become url entries, and how those entries read:
// the page rule (the classic one or the user's endings), the exclusion
// patterns, the site's robots.txt, index pages as their folder's address and
// the modification time. One per generation; every walk thread reads it, and
// nothing changes it once robots.txt is in (see setRobots).
class SiteRules {
public:
    SiteRules(const std::string& baseUrl, bool mobile, SitemapOptions options,
              CivilDate today = CivilDate::todayUtc());

    const std::string& baseUrl() const { return baseUrl_; }

    bool isPage(const std::string& name) const;

    // Whether the folder at folders (names from the target folder down, the
    // folder's own last) is entered; an excluded one is counted in stats.
    bool entersFolder(const std::vector<std::string>& folders, WalkStats& stats) const;

    // Appends the url elements of the pages among names, which the folder at
    // folders holds, in listing order; counts them and what was left out.
    void appendEntries(const std::vector<std::string>& folders, const NameList& names, std::string& block,
                       WalkStats& stats) const;

    // The site's robots.txt, or nothing when it is missing or unreadable
    // (then nothing is left out for it). Called before any walk thread reads.
    void setRobots(std::optional<RobotsRules> rules) { robots_ = std::move(rules); }

    // lastmod's text: the full time in UTC where the listing gave it so, else
    // the date, its year (when the listing left it out) the most recent one
    // that does not put the date past tomorrow. Empty when there is no time.
    static std::string lastmodText(const ModifiedTime& time, const CivilDate& today);

    // The present time as lastmod writes an exact one.
    static std::string nowUtcText();

    // "*" any run of bytes ("/" too), "?" one byte.
    static bool globMatches(const std::string& pattern, const std::string& text);

    // The pattern matches the path below the target folder ("/blog/a.html",
    // a folder as "/blog/" or "/blog"); one without "/" matches the name.
    static bool patternMatches(const std::string& pattern, const std::string& path, const std::string& name);

private:
    bool excludedByPattern(const std::string& path, const std::string& name) const;
    bool allowedByRobots(const std::string& url) const;

    std::string baseUrl_;
    std::string site_;  // as the file holds it
    bool mobile_;
    SitemapOptions options_;
    CivilDate today_;
    std::vector<std::string> endings_;  // lower case, each starting with "."
    std::optional<RobotsRules> robots_;
};
