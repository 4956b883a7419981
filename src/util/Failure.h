#pragma once

#include <string>

// What went wrong, as a value: its kind, and the words of whoever said so
// (the server's reply, the library's error). Sessions say why a login
// failed; the job adds what failed after it; one table (sitemap/Messages)
// turns a failure into the Japanese text both front ends show.
enum class FailureKind {
    None,
    // Logging in.
    LoginRefused,          // a wrong account or password (530, SSH authentication)
    HostNotFound,          // the host name does not resolve
    ConnectionRefused,     // nothing listens on that port
    NoAnswer,              // no answer in time
    TlsRefused,            // the server would not speak TLS
    CertificateOtherName,  // detail: the names the certificate is for
    CertificateUntrusted,  // expired, or from an authority not trusted
    HostKeyUnknown,        // detail: the key's fingerprint
    HostKeyChanged,        // detail: the key's fingerprint
    LoginFailed,           // for another reason (a busy server among them)
    // After the login.
    FolderRefused,
    ListingRefused,
    ConnectionLost,
    WriteFailed,
    UploadFailed,
    TooLarge,
    TimeLimit,
    // Checking the pages on the live site.
    NotThisSite,       // most answers said the pages are not there: the http path and the folder differ
    SiteDown,          // most answers were server errors
    Stopped,  // by the user: no message, the status line says so
    // Uploads held back.
    NoPages,
    Shrunk,  // detail: "before now", the page counts
};

struct Failure {
    FailureKind kind = FailureKind::None;
    std::string reason;  // the server's or the library's words; may be empty
    std::string detail;  // names or a fingerprint, for the kinds that have one

    explicit operator bool() const { return kind != FailureKind::None; }
};

// A login failure after which another login would be refused again, or
// wait as long again: none is tried.
inline bool isFinalLoginFailure(FailureKind kind) {
    return kind == FailureKind::LoginRefused || kind == FailureKind::HostNotFound ||
           kind == FailureKind::ConnectionRefused || kind == FailureKind::NoAnswer;
}
