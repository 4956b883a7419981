#include "remote/ftp/FtpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "remote/RemoteHost.h"
#include "remote/ftp/FtpLogin.h"
#include "remote/ftp/ListingParser.h"
#include "util/PercentEncoding.h"
#include "util/Utf8Path.h"

namespace {


constexpr long kLowSpeedBytesPerSecond = 64;

// A listing goes out after a "CWD" even where the connection already stands
// in the folder: a passive reply followed at once by the listing command
// makes this client wait a second for the data connection on some servers
// (Pure-FTPd); a command in between costs one round trip instead.
constexpr FtpSession::Anchor kListingAnchor = FtpSession::Anchor::Always;

// Listings larger than this are refused rather than held in memory.
constexpr size_t kMaxListingBytes = kMaxKeptListingBytes;

// Whether the listing's text would hold more than a listing may once read.
bool tooLargeToKeep(std::string_view text) {
    return keptBytesAtMost(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1, text.size()) >
           kMaxKeptListingBytes;
}
constexpr int kLongestSleepMs = 5;  // while a request runs

// A refused login because of too many connections is asked again after
// these pauses: the server may not yet have seen our last QUIT.
constexpr int kBusyRetryMs[] = {200, 500, 1000, 2000};

// Failures that mean the connection is gone, as opposed to a refusal.
bool isConnectionFailure(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_PARTIAL_FILE:
        case CURLE_LOGIN_DENIED:
            return true;
        default:
            return false;
    }
}

// A reply that refuses the command, as opposed to failing it for now.
bool isRefusal(long replyCode) { return replyCode >= 500 && replyCode < 600; }

// In ASCII type the wire carries CR LF line ends. Outside Windows the client
// turns every LF it sends into CR LF itself, so a CR LF file goes to it with
// bare LFs there; on Windows the bytes go as they are.
#ifdef _WIN32
constexpr bool kClientAddsCr = false;
#else
constexpr bool kClientAddsCr = true;
#endif

struct UploadSource {
    std::ifstream in;
    bool dropCrBeforeLf = false;
    bool pendingCr = false;  // a CR at the end of the last block
};

size_t readUpload(char* buffer, size_t size, size_t count, void* source) {
    auto* upload = static_cast<UploadSource*>(source);
    const size_t room = size * count;
    if (!upload->dropCrBeforeLf) {
        upload->in.read(buffer, static_cast<std::streamsize>(room));
        if (upload->in.bad()) return CURL_READFUNC_ABORT;
        return static_cast<size_t>(upload->in.gcount());
    }
    size_t used = 0;
    while (used < room) {
        int c = upload->in.get();
        if (c == std::char_traits<char>::eof()) {
            if (upload->in.bad()) return CURL_READFUNC_ABORT;
            if (upload->pendingCr) {
                buffer[used++] = '\r';
                upload->pendingCr = false;
            }
            break;
        }
        if (upload->pendingCr) {
            upload->pendingCr = false;
            if (c != '\n') {
                buffer[used++] = '\r';
                if (used == room) {
                    upload->in.unget();
                    break;
                }
            }
        }
        if (c == '\r')
            upload->pendingCr = true;
        else
            buffer[used++] = static_cast<char>(c);
    }
    return used;
}

}  // namespace

FtpSession::FtpSession() : dataLimit_(kMaxListingBytes) {}

FtpSession::~FtpSession() { close(); }

size_t FtpSession::onReplyLine(char* data, size_t size, size_t count, void* self) {
    auto* session = static_cast<FtpSession*>(self);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    session->replyLines_.push_back(std::move(line));
    return size * count;
}

size_t FtpSession::onData(char* data, size_t size, size_t count, void* self) {
    auto* session = static_cast<FtpSession*>(self);
    if (session->data_.size() + size * count > session->dataLimit_) {
        session->data_.append(data, session->dataLimit_ - session->data_.size());
        session->tooLarge_ = true;
        return 0;  // ends the transfer with an error
    }
    session->data_.append(data, size * count);
    return size * count;
}

void FtpSession::applyCommonOptions() {
    curl_easy_reset(curl_);  // keeps the open connection
    ftp_login::applyLogin(curl_, host_, account_, password_, options_);
    curl_easy_setopt(curl_, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    // A transfer that trickles (less than this many bytes a second over the
    // stall time) or outlasts its own limit fails.
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, options_.stallTimeoutSeconds);
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT, options_.transferTimeoutSeconds);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &FtpSession::onReplyLine);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &FtpSession::onData);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_);
    errorBuffer_[0] = '\0';
}

int FtpSession::perform(const std::vector<std::string>& commands, Body body, const std::string& customRequest,
                        Anchor anchor) {
    const bool prefixed = anchored() && (anchor == Anchor::Always || !standsThere_);
    if (!performOnce(commands, body, customRequest, prefixed)) {
        standsThere_ = false;  // where the server stands now is not known
        return 0;
    }
    long newConnections = 0;
    curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &newConnections);
    // A data connection counts too; the login's own reply tells a new login.
    const bool loggedInAgain = newConnections > 0 && !lastReplyWithCode("230").empty();
    if ((newConnections > 0 && anchored() && !prefixed) || (loggedInAgain && utf8_)) {
        // The client had to log in again: the commands ran in the login
        // folder, in the server's default character set. Ask again from our
        // own folder, in UTF-8.
        if (!performOnce(commands, body, customRequest, anchored(), true)) {
            standsThere_ = false;
            return 0;
        }
    }
    standsThere_ = anchored();
    return 1;
}

bool FtpSession::performOnce(const std::vector<std::string>& commands, Body body, const std::string& customRequest,
                             bool prefixed, bool newLogin) {
    auto all = commandsInFolder(commands, prefixed, newLogin);
    for (const auto& command : all) {
        if (!listing::fitsInCommand(command)) {  // it would smuggle in another command
            lastError_ = "refused to send a command holding a line break";
            return false;
        }
    }
    applyCommonOptions();
    std::string url = urlPrefix_ + "/";
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_slist* quote = nullptr;
    for (const auto& command : all) quote = curl_slist_append(quote, onWire(command).c_str());
    curl_easy_setopt(curl_, CURLOPT_QUOTE, quote);
    if (body == Body::None) curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    if (!customRequest.empty()) curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, customRequest.c_str());

    bool ok = run();
    curl_slist_free_all(quote);
    return ok;
}

// curl_easy_perform, but never asleep for long: while the client sets up
// a TLS data connection (which the server accepts only once the transfer
// starts) it waits on its own timers, not on the control connection, and
// would read the reply that is already there up to a second late.
int FtpSession::performRequest() {
    if (!multi_) multi_ = curl_multi_init();
    if (!multi_ || curl_multi_add_handle(multi_, curl_) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode code = CURLE_OK;
    for (int running = 1; running;) {
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            code = CURLE_RECV_ERROR;
            break;
        }
        if (running) curl_multi_poll(multi_, nullptr, 0, kLongestSleepMs, nullptr);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == curl_) code = message->data.result;
    curl_multi_remove_handle(multi_, curl_);
    return code;
}

bool FtpSession::timedOut() const { return lastCode_ == CURLE_OPERATION_TIMEDOUT && lastResponseCode_ != 421; }

bool FtpSession::run() {
    replyLines_.clear();
    data_.clear();
    tooLarge_ = false;
    CURLcode code = static_cast<CURLcode>(performRequest());
    lastCode_ = code;
    lastResponseCode_ = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &lastResponseCode_);
    connectionLost_ = code != CURLE_OK && isConnectionFailure(code);
    if (code != CURLE_OK) noteError(code);
    return code == CURLE_OK;
}

void FtpSession::noteError(int code) {
    if (tooLarge_) {
        lastError_ = "listing larger than " + std::to_string(kMaxListingBytes >> 20) + " MB";
        return;
    }
    const auto certificate = ftp_login::certificateProblem(curl_, code, errorBuffer_, host_);
    if (certificate.refused) {
        trust_ = {TrustProblem::Kind::Certificate, certificate.names, {}, certificate.text};
        lastError_ = certificate.text;
        return;
    }
    // The server's own words say most; the client's text where it sent none.
    for (auto it = replyLines_.rbegin(); it != replyLines_.rend(); ++it) {
        if (it->size() >= 3 && (*it)[0] >= '4' && (*it)[0] <= '5') {
            lastError_ = *it;
            return;
        }
    }
    lastError_ = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(static_cast<CURLcode>(code));
}

// A request starts in the folder we stand in: by a "CWD" to it first where
// the connection may stand elsewhere (the client's own idea of the folder is
// not trusted). Paths never go into the URL: servers may glob a listing's
// argument, and the client refuses control bytes in URL paths.
std::vector<std::string> FtpSession::commandsInFolder(const std::vector<std::string>& commands, bool prefixed,
                                                      bool newLogin) const {
    std::vector<std::string> all;
    if (newLogin && utf8_) all.push_back("*OPTS UTF8 ON");
    if (prefixed) all.push_back("CWD " + currentPath_);
    all.insert(all.end(), commands.begin(), commands.end());
    return all;
}

std::string FtpSession::lastReplyWithCode(const char* code) const {
    for (auto it = replyLines_.rbegin(); it != replyLines_.rend(); ++it)
        if (it->rfind(code, 0) == 0) return *it;
    return {};
}

int FtpSession::connect(const std::string& host, const std::string& account, const std::string& password) {
    close();
    connectionLost_ = false;
    loginFailure_ = FailureKind::LoginFailed;
    auto parsed = RemoteHost::parse(host);
    if (!parsed || !listing::fitsInCommand(account) || !listing::fitsInCommand(password)) {
        lastError_ = parsed ? "account or password holds a line break" : "not a host name: " + host;
        return 0;
    }
    if (parsed->security == RemoteHost::Security::Sftp) {
        lastError_ = "an SFTP host is not an FTP host: " + host;
        return 0;
    }
    curl_ = curl_easy_init();
    if (!curl_) return 0;
    host_ = *parsed;
    trust_ = {};
    urlPrefix_ = parsed->urlPrefix();
    account_ = account;
    password_ = password;
    currentPath_.clear();

    // FEAT tells whether MLST/MLSD exist; OPTS asks for the facts the walk uses.
    // Both may fail on older servers without failing the login.
    // A server that has not yet seen our last QUIT may refuse one more
    // login for a moment (421): ask again a few times.
    bool loggedIn = perform({"*FEAT", "*OPTS MLST type;unique;"}, Body::None);
    for (int pause : kBusyRetryMs) {
        if (loggedIn || lastResponseCode_ != 421 || !options_.retryBusyLogin) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        loggedIn = perform({"*FEAT", "*OPTS MLST type;unique;"}, Body::None);
    }
    loginFailure_ = loggedIn ? FailureKind::None
                             : ftp_login::loginFailure(lastCode_, lastResponseCode_, !trust_.names.empty());
    if (!loggedIn) {
        close();
        return 0;
    }
    options_.cancel = nullptr;  // it stops the login only, never what follows
    hasMlst_ = listing::offersFeature(replyLines_, "MLST");
    char* entryPath = nullptr;
    if (curl_easy_getinfo(curl_, CURLINFO_FTP_ENTRY_PATH, &entryPath) == CURLE_OK && entryPath &&
        listing::isUsablePath(entryPath))
        currentPath_ = entryPath;
    standsThere_ = anchored();
    // A server that offers UTF8 may speak another character set to clients
    // that do not ask for it (ProFTPD's UseEncoding): ask before any path
    // goes out, and again on every new login of this session.
    utf8_ = listing::offersFeature(replyLines_, "UTF8");
    if (utf8_) perform({"*OPTS UTF8 ON"}, Body::None);
    return 1;
}

std::string FtpSession::onWire(const std::string& command) const {
    return doubleIac_ ? listing::telnetEscaped(command) : command;
}

int FtpSession::changeDirectory(const std::string& path) {
    if (!curl_ || path.empty() || !listing::fitsInCommand(path)) return 0;
    if (!perform({"CWD " + path, "PWD"}, Body::None)) {
        // RFC 959 doubles a 0xFF byte on the wire, and some servers want it
        // so (inetutils ftpd, which otherwise drops it and enters another
        // folder); others (vsftpd, Pure-FTPd) refuse it doubled and take it
        // as it is. Once so, for the rest of the session.
        if (connectionLost_ || !doubleIac_ || (path + currentPath_).find('\xff') == std::string::npos) return 0;
        doubleIac_ = false;
        if (!perform({"CWD " + path, "PWD"}, Body::None)) {
            doubleIac_ = true;
            return 0;
        }
    }
    currentPath_ = listing::usablePathFromPwdReply(lastReplyWithCode("257")).value_or(std::string());
    standsThere_ = anchored();
    return 1;
}

int FtpSession::listNames(NameList& names) {
    lastList_ = ListOutcome::Refused;
    if (!curl_) return 0;
    size_t before = names.size();
    // LIST first: its order is the folder's listing order, the one every walk
    // follows. MLSD only for servers whose LIST lines cannot be read.
    size_t unreadable = 0;
    auto tooLarge = [&] {
        lastList_ = ListOutcome::Unreadable;
        lastError_ = "listing too large to keep in memory (more than " + std::to_string(kMaxKeptListingBytes >> 20) +
                     " MB once read)";
        return 0;
    };
    if (!preferMlsd_) {
        if (!perform({}, Body::Download, "LIST", kListingAnchor)) {
            // A server may refuse LIST and offer MLSD only.
            if (!hasMlst_ || connectionLost_ || !isRefusal(lastResponseCode_)) return 0;
            const std::string refused = lastError_;
            if (!perform({}, Body::Download, "MLSD", kListingAnchor)) {
                if (!connectionLost_) lastError_ = refused;
                return 0;
            }
            preferMlsd_ = true;
            if (tooLargeToKeep(data_)) return tooLarge();
            return finishListing(names, before, listing::parseMlsd(data_, names));
        }
        if (tooLargeToKeep(data_)) return tooLarge();
        unreadable = listing::parseList(data_, names);
        if (names.size() > before || unreadable == 0 || !hasMlst_) return finishListing(names, before, unreadable);
        preferMlsd_ = true;
    }
    if (!perform({}, Body::Download, "MLSD", kListingAnchor)) return 0;
    if (tooLargeToKeep(data_)) return tooLarge();
    unreadable = listing::parseMlsd(data_, names);
    return finishListing(names, before, unreadable);
}

int FtpSession::finishListing(NameList& names, size_t before, size_t unreadable) {
    if (names.size() > before)
        lastList_ = ListOutcome::Listed;
    else if (unreadable > 0)
        lastList_ = ListOutcome::Unreadable, lastError_ = "listing lines in a form that cannot be read";
    else
        lastList_ = ListOutcome::Empty;
    return static_cast<int>(names.size() - before);
}

int FtpSession::currentDirectory(std::string& path) {
    if (!curl_) return -1;
    if (anchored()) {
        path = currentPath_;
        return 0;
    }
    if (!perform({"PWD"}, Body::None)) return -1;
    std::string reported;
    if (!listing::parsePwdReply(lastReplyWithCode("257"), reported)) return -1;
    path = reported;
    return 0;
}

std::string FtpSession::currentFolderId() {
    if (!curl_ || !hasMlst_ || !anchored()) return {};
    if (!perform({"*MLST " + currentPath_}, Body::None)) return {};
    return listing::mlstUniqueId(replyLines_);
}

// Stores under a temporary name and renames when whole, so that a broken
// transfer never leaves a partial file under the real name. A server that
// refuses the temporary name or the rename gets the file under its real
// name directly.
int FtpSession::putFile(const std::string& localName, const std::string& remoteName, int mode) {
    if (!curl_ || !listing::isSafeName(remoteName)) return -1;
    const std::string temporary = remoteName + kUploadSuffix;
    if (store(localName, temporary, mode)) {
        if (perform({"RNFR " + temporary, "RNTO " + remoteName}, Body::None, {}, Anchor::Always)) return 1;
    }
    if (connectionLost_) return -1;
    const std::string reason = lastError_;
    perform({"*DELE " + temporary}, Body::None, {}, Anchor::Always);
    if (store(localName, remoteName, mode)) return 1;
    if (!connectionLost_ && lastError_.empty()) lastError_ = reason;
    return -1;
}

curl_slist* FtpSession::prepareFileTransfer(const std::string& name, bool prefixed) {
    applyCommonOptions();
    const std::string url = urlPrefix_ + "/" + percent::encode(name);
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_slist* before = nullptr;
    // A transfer may log in again unseen before it starts: UTF-8 is asked
    // for each time (one round trip, once or twice a run).
    for (const auto& command : commandsInFolder({}, prefixed, true))
        before = curl_slist_append(before, onWire(command).c_str());
    curl_easy_setopt(curl_, CURLOPT_QUOTE, before);
    return before;
}

int FtpSession::readFile(const std::string& name, std::string& content, size_t maxBytes) {
    if (!curl_ || !listing::isSafeName(name)) return 0;
    auto attempt = [&](bool prefixed) {
        curl_slist* before = prepareFileTransfer(name, prefixed);
        // A text file: in the type the listings left set (the server's line
        // ends are fine) and without asking its size, two round trips fewer.
        curl_easy_setopt(curl_, CURLOPT_TRANSFERTEXT, 1L);
        dataLimit_ = maxBytes;
        const bool read = run() || tooLarge_;  // cut short at maxBytes: what was read is kept
        dataLimit_ = kMaxListingBytes;
        curl_slist_free_all(before);
        return read;
    };
    const bool prefixed = anchored() && !standsThere_;
    bool read = attempt(prefixed);
    // Logged in again on the way (a data connection counts as a connection
    // too, so the login's reply tells): once more from our folder.
    if (!prefixed && anchored() && !lastReplyWithCode("230").empty()) read = attempt(true);
    standsThere_ = false;  // a transfer cut short may leave the connection anywhere
    if (read) {
        content = std::move(data_);
        return 1;
    }
    return connectionLost_ ? -1 : 0;
}

bool FtpSession::store(const std::string& localName, const std::string& remoteName, int mode) {
    UploadSource source;
    source.in.open(utf8Path(localName), std::ios::binary);
    if (!source.in) {
        lastError_ = "cannot read " + localName;
        return false;
    }
    source.dropCrBeforeLf = kClientAddsCr && mode != 1;
    std::error_code ec;
    auto size = std::filesystem::file_size(utf8Path(localName), ec);

    curl_slist* before = prepareFileTransfer(remoteName, anchored());
    curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl_, CURLOPT_READFUNCTION, &readUpload);
    curl_easy_setopt(curl_, CURLOPT_READDATA, &source);
    if (!ec && !source.dropCrBeforeLf) curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(curl_, CURLOPT_TRANSFERTEXT, mode == 1 ? 0L : 1L);
    bool ok = run();
    curl_slist_free_all(before);
    return ok;
}

int FtpSession::close() {
    if (!curl_) return 0;
    // The connection is the multi handle's: it says QUIT, with this
    // session's time limits.
    if (multi_) curl_multi_cleanup(multi_);
    multi_ = nullptr;
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
    return 1;
}
