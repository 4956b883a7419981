#include "settings/JobSettings.h"

std::string missingValueMessage(const JobSettings& settings) {
    if (settings.hostName.empty()) return "ホストを入力してください";
    if (settings.accountName.empty()) return "アカウントを入力してください";
    if (settings.password.empty()) return "パスワードを入力してください";
    if (settings.baseUrl.empty()) return "httpパスを入力してください";
    return {};
}

std::vector<std::string> SitemapOptions::splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
        start = end + 1;
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
