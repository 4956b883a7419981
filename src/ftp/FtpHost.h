#pragma once

#include <optional>
#include <string>

// The host text a user types: "ftp.example.com", "ftp.example.com:2121",
// "192.0.2.1", "[::1]:2121", "::1", optionally behind "ftp://".
struct FtpHost {
    std::string host;  // name or address; an IPv6 address without brackets
    int port = 21;

    // Parses the typed text; nothing for text that names no usable host.
    static std::optional<FtpHost> parse(const std::string& text);

    // "ftp://host:port" with IPv6 addresses bracketed.
    std::string urlPrefix() const;
};
