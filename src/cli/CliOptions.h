#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/JobSettings.h"

// What the command line asked for. Every setting is optional: what is not
// given comes from the settings file.
struct CliOptions {
    std::optional<std::string> settingsFile;
    std::optional<std::string> host, account, passwordFile, folder, baseUrl;
    std::optional<int> connections;
    std::optional<int> verifyRequests;
    std::optional<int> replyTimeout, timeLimit;  // seconds
    std::optional<bool> mobile, upload;
    std::optional<bool> lastmod, robots, indexAsFolder, gzip, verify;
    std::optional<std::vector<std::string>> exclude;  // --exclude, repeatable: replaces the file's list
    std::optional<std::string> extensions;
    std::optional<std::string> trustHostKey;  // "SHA256:..."
    std::optional<std::string> reportTsv;     // the check's rows, tab-separated
    bool verbose = false;
    bool quiet = false;  // nothing on standard error for a run that succeeded
    bool allowPartial = false;  // exit 0 although some folders could not be read
    bool allowShrink = false;   // upload although the page count fell below half of the last run's
    bool help = false;
    bool version = false;

    // Parses argv; on a wrong option, returns nothing and sets error.
    static std::optional<CliOptions> parse(int argc, const char* const argv[], std::string& error);

    // Applies the overrides to settings for this run. The password comes
    // from passwordFile (its first line) or else from the environment
    // variable QUILLOMAR_PASSWORD. False with error when the file cannot be read.
    bool applyTo(JobSettings& settings, std::string& error) const;

    static const char* usage();
};
