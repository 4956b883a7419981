#include "remote/sftp/HostKeyPolicy.h"

bool HostKeyPolicy::trust(const std::string& host, const std::string& fingerprint) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!trustedKey_.empty()) return fingerprint == trustedKey_;
    auto answered = answers_.find(fingerprint);
    if (answered != answers_.end()) return answered->second;
    const bool yes = ask_ && ask_(host, fingerprint);
    answers_[fingerprint] = yes;
    return yes;
}
