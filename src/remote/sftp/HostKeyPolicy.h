#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

// Which SSH host keys, met for the first time in a run, are trusted: the
// one the settings name (a fingerprint given beforehand), else what the
// user answers, asked once per key and one question at a time whichever
// connection meets it. Shared by every login of a run.
class HostKeyPolicy {
public:
    // Asks the user about host ("name:port") and the key's "SHA256:..." fingerprint.
    using Ask = std::function<bool(const std::string& host, const std::string& fingerprint)>;

    // trustedKey: "SHA256:..." or empty, when only the user decides.
    HostKeyPolicy(std::string trustedKey, Ask ask) : trustedKey_(std::move(trustedKey)), ask_(std::move(ask)) {}

    bool trust(const std::string& host, const std::string& fingerprint);

private:
    const std::string trustedKey_;
    const Ask ask_;
    std::mutex mutex_;
    std::map<std::string, bool> answers_;  // by fingerprint
};
