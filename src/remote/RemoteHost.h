#pragma once

#include <optional>
#include <string>

// The host text a user types: "ftp.example.com", "ftp.example.com:2121",
// "192.0.2.1", "[::1]:2121", "::1", optionally behind a scheme that says
// how to talk to it: "ftp://" (plain FTP), "ftpes://" (FTP that turns on
// TLS with AUTH TLS before the login) or "ftps://" (FTP inside TLS from the
// start, port 990 by default), or "sftp://" (SFTP over SSH, port 22).
struct RemoteHost {
    enum class Security { Plain, ExplicitTls, ImplicitTls, Sftp };

    Security security = Security::Plain;
    std::string host;  // name or address; an IPv6 address without brackets
    int port = 21;

    // Parses the typed text; nothing for text that names no usable host.
    static std::optional<RemoteHost> parse(const std::string& text);

    // "ftp://host:port" ("ftps://" for implicit TLS, "sftp://" for SFTP)
    // with IPv6 addresses bracketed.
    std::string urlPrefix() const;

    bool tls() const { return security == Security::ExplicitTls || security == Security::ImplicitTls; }
};
