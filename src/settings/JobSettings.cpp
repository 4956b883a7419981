#include "settings/JobSettings.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "util/Ascii.h"

std::string trimmedBlanks(const std::string& text) {
    // Blanks pasted around a value: ASCII spaces and tabs, and the
    // full-width space of Japanese input methods.
    constexpr std::string_view kWide = "\xE3\x80\x80";
    size_t start = 0, end = text.size();
    for (;;) {
        if (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
        else if (text.compare(start, kWide.size(), kWide) == 0 && start + kWide.size() <= end) start += kWide.size();
        else break;
    }
    for (;;) {
        if (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
        else if (end >= start + kWide.size() && text.compare(end - kWide.size(), kWide.size(), kWide) == 0) end -= kWide.size();
        else break;
    }
    return text.substr(start, end - start);
}

std::string missingValueMessage(const JobSettings& settings) {
    if (settings.hostName.empty()) return "ホストを入力してください";
    if (settings.accountName.empty()) return "アカウントを入力してください";
    if (settings.password.empty()) return "パスワードを入力してください";
    if (settings.baseUrl.empty()) return "httpパスを入力してください";
    // Addresses are made by appending paths to it: without its scheme none
    // of them would be one a search engine could read.
    const std::string scheme = lowerAscii(settings.baseUrl.substr(0, 8));
    if (scheme.rfind("http://", 0) != 0 && scheme.rfind("https://", 0) != 0)
        return "httpパスは http:// または https:// で始めてください（例: https://www.example.jp）";
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
