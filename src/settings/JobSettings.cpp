#include "settings/JobSettings.h"

#include <algorithm>
#include <string_view>
#include <utility>

std::string missingValueMessage(const JobSettings& settings) {
    if (settings.hostName.empty()) return "ホストを入力してください";
    if (settings.accountName.empty()) return "アカウントを入力してください";
    if (settings.password.empty()) return "パスワードを入力してください";
    if (settings.baseUrl.empty()) return "httpパスを入力してください";
    return {};
}

namespace {

// What separates the items of a list as people type them, Japanese input
// methods included: ";", "；", ",", "，", "、" and the full-width space.
constexpr std::string_view kSeparators[] = {";", "\xEF\xBC\x9B", ",", "\xEF\xBC\x8C", "\xE3\x80\x81", "\xE3\x80\x80"};

// The first separator at or after start: its place and length.
std::pair<size_t, size_t> nextSeparator(const std::string& text, size_t start) {
    std::pair<size_t, size_t> first{text.size(), 0};
    for (std::string_view separator : kSeparators) {
        size_t at = text.find(separator, start);
        if (at < first.first) first = {at, separator.size()};
    }
    return first;
}

}  // namespace

std::vector<std::string> SitemapOptions::splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        auto [end, length] = nextSeparator(text, start);
        std::string item = text.substr(start, end - start);
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
        start = end + std::max<size_t>(length, 1);
    }
    return items;
}

std::string SitemapOptions::joinList(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) text += ';';
        text += item;
    }
    return text;
}
