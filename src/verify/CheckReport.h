#pragma once

#include <string>
#include <vector>

#include "verify/SiteCheck.h"

// What the check on the live site found, for people (sitemap-check.html,
// in Japanese, never uploaded) and for scripts (tab-separated): the counts
// per outcome, and every address left out or kept unconfirmed with its
// answer, redirect target or canonical.
namespace check_report {

// A stable name for scripts ("kept", "not-found", ...).
const char* key(PageOutcome outcome);

// site: the base URL; failure: why the generation stopped after the check
// (empty when it wrote the sitemap).
std::string html(const SiteCheck& check, const std::vector<std::string>& addresses, const std::string& site,
                 const std::string& failure);

// "address<TAB>outcome<TAB>status<TAB>detail" lines, the same rows as the
// page's table, after a header line. WordPress's own code is one row per
// part (site + "/wp-admin/"), its detail the number of addresses.
std::string tsv(const SiteCheck& check, const std::vector<std::string>& addresses, const std::string& site);

}  // namespace check_report
