#include "settings/JobSettings.h"

std::string missingValueMessage(const JobSettings& settings) {
    if (settings.hostName.empty()) return "ホストを入力してください";
    if (settings.accountName.empty()) return "アカウントを入力してください";
    if (settings.password.empty()) return "パスワードを入力してください";
    if (settings.baseUrl.empty()) return "httpパスを入力してください";
    return {};
}
