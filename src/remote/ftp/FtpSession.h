#pragma once

#include <string>
#include <vector>

#include "remote/RemoteHost.h"
#include "remote/LoginOptions.h"
#include "remote/NameList.h"
#include "remote/RemoteSession.h"

typedef void CURL;
typedef void CURLM;
struct curl_slist;

// One FTP login (plain or over TLS) for one generation, used by one thread.
//
// The session remembers the server's current folder (as the server reports it
// after each change) and names it in every command, so a listing or an upload
// never depends on where a reused or re-opened connection happens to stand.
class FtpSession : public RemoteSession {
public:
    FtpSession();
    ~FtpSession() override;
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Limits, trace and cancel flag for the next connect.
    void setOptions(LoginOptions options) override { options_ = std::move(options); }

    // host may carry a port: "example.com:2121", "[::1]:2121"; else 21.
    int connect(const std::string& host, const std::string& account, const std::string& password) override;
    int changeDirectory(const std::string& path) override;
    int listNames(NameList& names) override;
    int currentDirectory(std::string& path) override;
    int putFile(const std::string& localName, const std::string& remoteName, int mode) override;
    int readFile(const std::string& name, std::string& content, size_t maxBytes) override;
    int close() override;
    bool connected() const override { return curl_ != nullptr; }
    bool connectionLost() const override { return connectionLost_; }
    bool timedOut() const override;
    // The server's reply line, or the client's own text.
    const std::string& lastError() const override { return lastError_; }
    // A refused TLS certificate.
    const TrustProblem& trustProblem() const override { return trust_; }
    FailureKind loginFailure() const override { return loginFailure_; }
    ListOutcome lastListOutcome() const override { return lastList_; }

    // Whether a request starts with a "CWD" to our folder: where the
    // connection may stand elsewhere, or Always (requests that change
    // something, and listings).
    enum class Anchor { WhenNeeded, Always };

    // The MLST "unique" fact, or empty when the server does not offer one.
    // One round trip.
    std::string currentFolderId() override;

private:
    enum class Body { None, Download };
    int perform(const std::vector<std::string>& commands, Body body, const std::string& customRequest = {},
                Anchor anchor = Anchor::WhenNeeded);
    // newLogin: the request follows a login of its own (UTF-8 is asked for
    // again first).
    bool performOnce(const std::vector<std::string>& commands, Body body, const std::string& customRequest,
                     bool prefixed, bool newLogin = false);
    std::vector<std::string> commandsInFolder(const std::vector<std::string>& commands, bool prefixed,
                                              bool newLogin) const;
    void applyCommonOptions();
    bool run();  // performs the prepared request and notes how it ended
    int performRequest();
    void noteError(int code);
    int finishListing(NameList& names, size_t before, size_t unreadable);
    bool store(const std::string& localName, const std::string& remoteName, int mode);
    // Sets up a transfer of the named file of our folder; the returned
    // commands must be freed once it ran.
    curl_slist* prepareFileTransfer(const std::string& name, bool prefixed);
    std::string lastReplyWithCode(const char* code) const;
    std::string onWire(const std::string& command) const;  // as the command goes out
    bool anchored() const { return !currentPath_.empty(); }

    static size_t onReplyLine(char* data, size_t size, size_t count, void* self);
    static size_t onData(char* data, size_t size, size_t count, void* self);

    CURL* curl_ = nullptr;
    CURLM* multi_ = nullptr;  // runs each request; holds the connection between them
    LoginOptions options_;
    RemoteHost host_;
    std::string urlPrefix_;
    std::string account_;
    std::string password_;
    std::string currentPath_;  // absolute, as the server reported it; empty when unknown
    bool standsThere_ = false; // the connection is known to stand in currentPath_
    bool hasMlst_ = false;     // the server offers MLST and MLSD
    bool preferMlsd_ = false;  // its LIST lines could not be read, or LIST was refused
    bool utf8_ = false;        // the server offers UTF8: every login asks for it
    bool doubleIac_ = true;    // a 0xFF byte goes doubled (until the server refuses it so)
    bool connectionLost_ = false;
    TrustProblem trust_;
    bool tooLarge_ = false;
    ListOutcome lastList_ = ListOutcome::Empty;
    std::string lastError_;
    char errorBuffer_[256] = {};
    long lastResponseCode_ = 0;
    int lastCode_ = 0;  // libcurl's, of the last request
    FailureKind loginFailure_ = FailureKind::None;
    std::vector<std::string> replyLines_;
    std::string data_;
    size_t dataLimit_;  // a download larger than this ends early
};
