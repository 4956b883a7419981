#include "verify/CheckReport.h"

#include <algorithm>
#include <utility>

#include "sitemap/Location.h"

namespace check_report {
namespace {

constexpr std::pair<PageOutcome, const char*> kKeys[] = {
    {PageOutcome::Kept, "kept"},           {PageOutcome::NotFound, "not-found"},
    {PageOutcome::Redirect, "redirect"},   {PageOutcome::NoIndex, "noindex"},
    {PageOutcome::OtherCanonical, "other-canonical"}, {PageOutcome::NotAPage, "not-a-page"},
    {PageOutcome::NotPublic, "not-public"}, {PageOutcome::Unconfirmed, "unconfirmed"},
    {PageOutcome::Disallowed, "disallowed"},  {PageOutcome::WordPressCode, "wordpress-code"},
};

// The rows both forms list: every address not simply kept, answered or not;
// then WordPress's own code as one row per part, with its count as detail
// (site: the address its parts are named below).
template <typename Row>
void forEachRow(const SiteCheck& check, const std::vector<std::string>& addresses, const std::string& site, Row row) {
    std::vector<std::pair<std::string, size_t>> parts;
    for (size_t i = 0; i < addresses.size() && i < check.verdicts.size(); ++i) {
        const PageVerdict& verdict = check.verdicts[i];
        if (verdict.outcome == PageOutcome::WordPressCode) {
            auto part = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.first == verdict.detail; });
            if (part == parts.end()) parts.emplace_back(verdict.detail, 1);
            else ++part->second;
            continue;
        }
        if (!check.answered[i] && verdict.outcome != PageOutcome::Disallowed && check.robotsProblem.empty())
            continue;  // never asked: the check ended first
        if (verdict.outcome != PageOutcome::Kept) row(addresses[i], verdict, check.statuses[i]);
    }
    for (const auto& [part, count] : parts)
        row(site + "/" + part, PageVerdict{PageOutcome::WordPressCode, std::to_string(count), false}, 0);
}

}  // namespace

const char* key(PageOutcome outcome) {
    for (const auto& [o, name] : kKeys)
        if (o == outcome) return name;
    return "";
}

std::string html(const SiteCheck& check, const std::vector<std::string>& addresses, const std::string& site,
                 const std::string& failure) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"UTF-8\">\n<title>公開ページの確認 - " +
        location::xmlEscape(site) + "</title>\n<style>body{font-family:sans-serif}td,th{border:1px solid #999;padding:2px 6px}"
                        "table{border-collapse:collapse}</style>\n</head>\n<body>\n<h1>公開ページの確認</h1>\n<p>" +
        location::xmlEscape(site) + " のアドレス " + std::to_string(addresses.size()) + " 件</p>\n";
    if (!failure.empty()) page += "<p><strong>" + location::xmlEscape(failure) + "</strong></p>\n";
    if (!check.robotsProblem.empty())
        page += "<p>robots.txt を読めなかったため、どのアドレスも問い合わせず、すべて未確認のまま載せました: " +
                location::xmlEscape(check.robotsProblem) + "</p>\n";
    page += "<table>\n<tr><th>結果</th><th>件数</th></tr>\n";
    for (const auto& [outcome, name] : kKeys)
        page += "<tr><td>" + std::string(outcomeLabel(outcome)) + "</td><td>" + std::to_string(check.count(outcome)) +
                "</td></tr>\n";
    page += "</table>\n<h2>除いたアドレスと未確認のアドレス</h2>\n<table>\n"
            "<tr><th>アドレス</th><th>結果</th><th>応答</th><th>転送先・canonical</th></tr>\n";
    forEachRow(check, addresses, site, [&](const std::string& address, const PageVerdict& verdict, long status) {
        page += "<tr><td>" + location::xmlEscape(address) + "</td><td>" + outcomeLabel(verdict.outcome) + "</td><td>" +
                (status ? std::to_string(status) : std::string("-")) + "</td><td>" + location::xmlEscape(verdict.detail) +
                (verdict.outcome == PageOutcome::WordPressCode ? " 件（問い合わせず）" : "") + "</td></tr>\n";
    });
    return page + "</table>\n</body>\n</html>\n";
}

std::string tsv(const SiteCheck& check, const std::vector<std::string>& addresses, const std::string& site) {
    std::string text = "address\toutcome\tstatus\tdetail\n";
    forEachRow(check, addresses, site, [&](const std::string& address, const PageVerdict& verdict, long status) {
        text += address + "\t" + key(verdict.outcome) + "\t" + std::to_string(status) + "\t" + verdict.detail + "\n";
    });
    return text;
}

}  // namespace check_report
