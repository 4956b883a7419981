#pragma once

#include <string>

#include "remote/LoginOptions.h"
#include "remote/RemoteHost.h"
#include "util/Failure.h"

typedef void CURL;

// Setting up libcurl for one FTP login, and reading why one failed.
namespace ftp_login {

// The kind of a failed FTP login from libcurl's code (an int, so that
// callers need not include curl), the server's last reply code, and
// whether the certificate named other hosts.
FailureKind loginFailure(int curlCode, long replyCode, bool certificateForOtherNames = false);

// Sets up a curl handle for one FTP login: FTP only, no signals (threads),
// TLS as the host asks for it (required, never a fall back to clear text;
// the certificate verified), the account, the limits, the trace and the
// cancel flag. options must outlive the handle. False when account or
// password hold CR, LF or NUL.
bool applyLogin(CURL* curl, const RemoteHost& host, const std::string& account, const std::string& password,
                const LoginOptions& options);

// Why a TLS login was refused, when the server's certificate was.
struct CertificateProblem {
    bool refused = false;
    std::string names;  // the names it is for, when they are not the host's ("a.jp, *.a.jp")
    std::string text;   // what is wrong, in the client's words
};
CertificateProblem certificateProblem(CURL* curl, int curlCode, const std::string& curlText, const RemoteHost& host);

// The trace line for a command as sent: a password is masked.
std::string masked(const std::string& command);

}  // namespace ftp_login
