#pragma once

#include <string>

#include "settings/SitemapOptions.h"

// The seven values a generation needs, as text. The two flags hold "1" for
// ticked and "0" for clear; code that tests a flag compares with "1".
struct JobSettings {
    std::string hostName;     // "host"
    std::string accountName;  // "id"
    std::string password;     // "pswd"
    std::string targetFolder; // "dir"
    std::string baseUrl;      // "http"
    std::string mobileFlag;   // "chk1"
    std::string uploadFlag;   // "chk2"

    // Logins that walk the site at once ("connections", not in the dialog;
    // kept in the file as the user wrote it). 0 walks folder by folder on
    // the one connection.
    int connections = kDefaultConnections;
    static constexpr int kDefaultConnections = 4;
    static constexpr int kMaxConnections = 16;

    // Requests in flight while pages are checked on the live site
    // ("verify_requests", not in the dialog): over HTTP/2 streams on one
    // connection, over HTTP/1 connections. A shared server may take more
    // at once for an attack.
    int verifyRequests = kDefaultVerifyRequests;
    static constexpr int kDefaultVerifyRequests = 8;
    static constexpr int kMaxVerifyRequests = 64;

    // Limits for unattended runs (the CLI sets them; 0 keeps the default):
    // how long one reply may take to begin, and the whole generation.
    int replyTimeoutSeconds = 0;
    int timeLimitSeconds = 0;

    // Certificates (PEM) trusted besides the system's, for FTP over TLS
    // (from QUILLOMAR_CA_FILE; not kept in the file).
    std::string caFile{};

    // SFTP: the file of trusted host keys (known_hosts beside the settings
    // file), and a key to trust on first use without asking ("SHA256:...",
    // from the CLI). Not kept in the file.
    std::string knownHostsFile{};
    std::string trustedHostKey{};

    // The run log (quillomar.log beside the settings file; empty: none),
    // and whether an upload may go ahead without asking when the page
    // count fell below half of the last run's (the CLI's --allow-shrink).
    std::string runLogFile{};
    // Where the check on the live site also writes its rows for scripts
    // (the CLI's --report-tsv); empty: nowhere. Not kept in the file.
    std::string checkReportTsv{};
    bool allowShrink = false;

    // Beyond the seven values: what else the sitemap holds.
    SitemapOptions sitemap{};

    bool mobile() const { return mobileFlag == "1"; }
    bool upload() const { return uploadFlag == "1"; }
};

// The text without blanks (spaces, tabs, full-width spaces) at either end:
// how a pasted host or account is used (the stored text keeps them).
std::string trimmedBlanks(const std::string& text);

// The first missing required value's message, or empty when all are there.
// Only an empty text is missing: a single space passes. A base URL must
// start with http:// or https://.
std::string missingValueMessage(const JobSettings& settings);
