#include "job/SitemapJob.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "remote/sftp/KnownHosts.h"
#include "remote/RemoteSession.h"
#include "walk/DirectoryWalk.h"
#include "job/JobObserver.h"
#include "job/Messages.h"
#include "job/Upload.h"
#include "util/FileReplace.h"
#include "verify/CheckReport.h"
#include "verify/SiteCheck.h"
#include "remote/sftp/HostKeyPolicy.h"
#include "walk/ParallelWalk.h"
#include "sitemap/Location.h"
#include "sitemap/SiteRules.h"
#include "sitemap/SitemapFile.h"
#include "sitemap/WordPress.h"
#include "walk/WalkRules.h"
#include "settings/RunLog.h"
#include "util/Utf8Path.h"

namespace {

std::tm localNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

// Drops one trailing "/", exactly one.
void dropTrailingSlash(std::string& text) {
    if (!text.empty() && text.back() == '/') text.pop_back();
}

}  // namespace

SitemapJob::SitemapJob(JobSettings settings, JobObserver& observer, std::string folder)
    : settings_(std::move(settings)), observer_(observer), folder_(std::move(folder)) {
    settings_.hostName = trimmedBlanks(settings_.hostName);
    settings_.accountName = trimmedBlanks(settings_.accountName);
}

SitemapJob::~SitemapJob() = default;

std::string SitemapJob::localFile() const {
    if (folder_.empty()) return SitemapFile::kFileName;
    return pathToUtf8(utf8Path(folder_) / SitemapFile::kFileName);
}

SitemapJob::Outcome SitemapJob::fail(Failure failure) {
    failure_ = std::move(failure);
    // Whatever broke off once the user stopped it broke off for that.
    if (stopped()) failure_ = {FailureKind::Stopped, {}, {}};
    if (failure_.kind == FailureKind::Stopped) {
        observer_.setStatus(messages::kStopped);
        observer_.setControlsEnabled(true);
        return Outcome::Failed;
    }
    std::string message = messages::text(failure_);
    const bool heldBack = failure_.kind == FailureKind::NoPages || failure_.kind == FailureKind::Shrunk;
    if (heldBack && !files_.empty()) message += std::string("\n") + messages::kLocalFileKept;
    observer_.showMessage(message);
    observer_.setStatus("");
    observer_.setControlsEnabled(true);
    return Outcome::Failed;
}

void SitemapJob::showListing() {
    if (!listingShown_) observer_.setStatus(messages::kListing);
    listingShown_ = true;
}

// Why a login failed, as a value: the session's kind and words, and the
// certificate's names or the host key's fingerprint where they matter.
Failure SitemapJob::loginFailureOf(const RemoteSession& session) {
    Failure failure{session.loginFailure(), session.lastError(), {}};
    if (failure.kind == FailureKind::None) failure.kind = FailureKind::LoginFailed;
    const TrustProblem& trust = session.trustProblem();
    failure.detail = trust.kind == TrustProblem::Kind::Certificate ? trust.names : trust.fingerprint;
    return failure;
}

LoginOptions SitemapJob::loginOptions(const std::string& label) {
    LoginOptions options;
    options.stop = stop_.get();
    options.caFile = settings_.caFile;
    options.knownHosts = knownHosts_;
    options.trustNewHostKey = [policy = hostKeys_](const std::string& host, const std::string& fingerprint) {
        return policy->trust(host, fingerprint);
    };
    if (settings_.replyTimeoutSeconds > 0) {
        // The other limits keep their proportion to the one the user set.
        options.stallTimeoutSeconds = settings_.replyTimeoutSeconds;
        options.replyTimeoutSeconds = 5L * settings_.replyTimeoutSeconds;
        options.transferTimeoutSeconds = 15L * settings_.replyTimeoutSeconds;
    }
    if (trace_) {
        auto trace = trace_;
        options.trace = [trace, label](const std::string& line) { trace("[" + label + "] " + line); };
    }
    return options;
}

bool SitemapJob::reopen(RemoteSession& session) {
    session.setOptions(loginOptions("0"));
    return session.connect(settings_.hostName, settings_.accountName, settings_.password) == 1 &&
           (rootPath_.empty() || session.changeDirectory(rootPath_) == 1);
}

WalkOptions SitemapJob::walkOptions() const {
    WalkOptions options;
    options.rules = rules_.get();
    options.out = out_;
    options.deadline = deadline_;
    options.stop = stop_.get();
    return options;
}

// Logs in anew (the target folder may be given relative to the login
// folder), enters the target folder, notes where the server put it and
// lists it. giveUp: set when the login may as well come later.
void SitemapJob::openTarget(RemoteSession& session, Target& target, const std::atomic<bool>* giveUp) {
    target = Target{};
    LoginOptions options = loginOptions("0");
    // A login beside the walk's is asked for once, and given up when the
    // walk ends first: it can as well come after.
    options.retryBusyLogin = giveUp == nullptr;
    options.cancel = giveUp;
    session.setOptions(options);
    if (session.connect(settings_.hostName, settings_.accountName, settings_.password) != 1) {
        target.failure = loginFailureOf(session);
        return;
    }
    if (!settings_.targetFolder.empty() && settings_.targetFolder != "/" &&
        session.changeDirectory(settings_.targetFolder) != 1) {
        const std::string elsewhere = session.alternativeTarget(settings_.targetFolder);
        if (session.connectionLost() || elsewhere.empty() || session.changeDirectory(elsewhere) != 1) {
            target.failure = {session.connectionLost() ? FailureKind::ConnectionLost : FailureKind::FolderRefused,
                              session.lastError(), {}};
            return;
        }
    }
    session.currentDirectory(rootPath_);
    target.listed = true;
    target.count = session.listNames(target.names);
    wordPress_ = wordpress::isInstall(target.names);
    if (target.count <= 0 && session.connectionLost()) {
        target.failure = {FailureKind::ConnectionLost, session.lastError(), {}};
        target.final = session.timedOut();
    }
    // A refused or unreadable listing is not an empty folder.
    else if (target.count <= 0 && session.lastListOutcome() != RemoteSession::ListOutcome::Empty)
        target.failure = {FailureKind::ListingRefused, session.lastError(), {}};
    else if (!readRobots(session))
        target.failure = {FailureKind::ConnectionLost, session.lastError(), {}};
}

// The site's robots.txt, from the target folder, when the options ask for
// it. False when the connection went away.
bool SitemapJob::readRobots(RemoteSession& session) {
    if (!settings_.sitemap.robots) return true;
    std::string text;
    const int read = session.readFile("robots.txt", text, RobotsRules::kMaxBytes);
    if (read < 0) return false;
    robots_ = read == 1 ? Robots::Read : Robots::Missing;
    rules_->setRobots(read == 1 ? std::optional<RobotsRules>(RobotsRules::parse(text)) : std::nullopt);
    return true;
}

// The fast walk. It reads the target folder on its own first login; the
// session meanwhile reads it the classic way (when the server allows one
// more login, else after the walk), and the walk counts only when both
// agree. The session stays logged in for the folders the walk hands back
// and for the upload.
WalkResult SitemapJob::fastWalk(RemoteSession& session, Target& target, bool& usable) {
    const WalkOptions options = walkOptions();
    auto progress = [this](const std::string& folder) {
        showListing();  // the target folder is read
        observer_.setProgress(folder);
    };
    ParallelWalkOptions fast;
    fast.walk = options;
    fast.host = settings_.hostName;
    fast.account = settings_.accountName;
    fast.password = settings_.password;
    fast.connections = settings_.connections;
    fast.writeAfterRootListing = settings_.sitemap.robots;
    fast.login = loginOptions("fast");
    fast.readers = readers_;
    auto lister = [&](const std::atomic<bool>* giveUp) {
        openTarget(session, target, giveUp);
        ParallelWalk::RootListing listing;
        if (!target.failure) {
            listing.state = ParallelWalk::RootListing::State::Listed;
            listing.path = rootPath_;
            listing.names = target.names;
        } else if (giveUp && !target.listed && !session.connected()) {
            // Refused beside the walk's logins, or given up: again after it.
            listing.state = ParallelWalk::RootListing::State::Later;
        }
        return listing;
    };
    // Folders the fast walk cannot read are read here, folder by folder.
    auto fallback = [&](const std::string& path, const std::vector<std::string>& folders,
                        const std::vector<walk_rules::FolderIdentity>& ancestors, WalkStats& stats) {
        if (!session.connected() && !reopen(session)) return WalkResult::ConnectionLost;
        DirectoryWalk sequential(session, options, progress);
        WalkResult result = sequential.runFrom(path, folders, ancestors);
        stats.addFolderWalk(sequential.stats());
        return result;
    };
    ParallelWalk parallel(fast, progress, fallback);
    WalkResult result = parallel.run(settings_.targetFolder, lister, usable);
    serverSeen_ = parallel.stats().connections > 0;
    // Refused, or out of reach: another login would only be refused again
    // (or wait as long again), so none is tried.
    if (isFinalLoginFailure(parallel.loginFailure()))
        loginFailed_ = {parallel.loginFailure(), parallel.loginError(), {}};
    if (!usable) return WalkResult::ConnectionLost;  // what it wrote is thrown away
    walkStats_ = parallel.stats();
    if (result == WalkResult::ConnectionLost)
        reason_ = parallel.failureReason().empty() ? session.lastError() : parallel.failureReason();
    return result;
}

WalkResult SitemapJob::sequentialWalk(RemoteSession& session, const NameList& names) {
    DirectoryWalk sequential(session, walkOptions(), [this](const std::string& folder) {
        observer_.setProgress(folder);
    });
    WalkResult result = sequential.run(names);
    walkStats_ = sequential.stats();
    if (result == WalkResult::ConnectionLost) reason_ = session.lastError();
    return result;
}

// The walk's entries in whole files, given their names only when all are
// whole (see SitemapWriter).
WalkResult SitemapJob::writeDocument(const std::string& file, const std::function<WalkResult()>& walkEntries) {
    SitemapWriter writer(file, settings_.baseUrl, settings_.mobile(), settings_.sitemap.gzip, limits_);
    out_ = &writer;
    if (settings_.sitemap.verify) writer.holdEntries();  // written once checked
    WalkResult result = writer.begin(reason_) ? walkEntries() : WalkResult::WriteFailed;
    out_ = nullptr;
    if (result == WalkResult::Ok && settings_.sitemap.verify) result = checkPages(writer);
    if (result == WalkResult::WriteFailed && reason_.empty()) reason_ = writer.error();
    if (result != WalkResult::Ok) return result;
    const std::string now = settings_.sitemap.lastmod ? SiteRules::nowUtcText() : std::string();
    if (!writer.finish(now, reason_)) return WalkResult::WriteFailed;
    files_ = writer.files();
    return WalkResult::Ok;
}

// Asks the live site for every address the walk found and writes the
// pages it keeps (see SiteCheck). A check that cannot be trusted writes
// nothing: checkFailure_ says why.
WalkResult SitemapJob::checkPages(SitemapWriter& writer) {
    observer_.setStatus(messages::kChecking);
    const std::vector<std::string> addresses = writer.heldAddresses();
    SiteCheckOptions options;
    options.caFile = settings_.caFile;
    options.inFlight = settings_.verifyRequests;
    // A page is asked for once: twice the reply limit the user set, whole.
    if (settings_.replyTimeoutSeconds > 0) options.timeoutSeconds = 2L * settings_.replyTimeoutSeconds;
    options.userAgent = std::string("Quillomar/") + QUILLOMAR_VERSION;
    options.robotsAgent = "Quillomar";
    for (const auto& extension : settings_.sitemap.extensions)
        if (!isWebPageExtension(extension)) options.fileExtensions.push_back(extension);
    options.stop = stop_.get();
    if (wordPress_) {
        const std::string top = location::encodeBaseUrl(settings_.baseUrl) + "/";
        options.softwarePart = [top](const std::string& address) {
            return address.starts_with(top) ? wordpress::codeGroup(std::string_view(address).substr(top.size()))
                                            : std::string();
        };
    }
    auto lastShown = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    options.progress = [&](size_t done, size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - lastShown < std::chrono::milliseconds(200)) return;
        lastShown = now;
        observer_.setProgress(messages::checkingLine(done, total));
    };
    check_ = std::make_unique<SiteCheck>(SiteCheck::run(addresses, options));
    switch (check_->end) {
        case SiteCheck::End::Stopped: return WalkResult::Stopped;
        case SiteCheck::End::WrongPlace: checkFailure_ = {FailureKind::NotThisSite, check_->reason, {}}; break;
        case SiteCheck::End::SiteDown: checkFailure_ = {FailureKind::SiteDown, check_->reason, {}}; break;
        case SiteCheck::End::Done: break;
    }
    writeCheckReports(addresses);
    if (checkFailure_) return WalkResult::WriteFailed;
    std::vector<bool> keep;
    long kept = 0;
    for (const auto& verdict : check_->verdicts) {
        keep.push_back(verdict.outcome == PageOutcome::Kept || verdict.outcome == PageOutcome::Unconfirmed);
        kept += keep.back() ? 1 : 0;
    }
    walkStats_.pages = kept;
    return writer.release(keep) ? WalkResult::Ok : WalkResult::WriteFailed;
}

// sitemap-check.html beside sitemap.xml (never uploaded), and the rows for
// scripts where the CLI asked. A report that cannot be written is said on
// the trace: the sitemap does not depend on it.
void SitemapJob::writeCheckReports(const std::vector<std::string>& addresses) {
    const std::string failure = checkFailure_ ? messages::headline(checkFailure_.kind) : "";
    const std::string report = checkReportFile();
    reportWritten_ = replaceFile(report, check_report::html(*check_, addresses, settings_.baseUrl, failure));
    if (!reportWritten_ && trace_) trace_("cannot write " + report);
    if (!settings_.checkReportTsv.empty() &&
        !replaceFile(settings_.checkReportTsv, check_report::tsv(*check_, addresses, settings_.baseUrl)) && trace_)
        trace_("cannot write " + settings_.checkReportTsv);
}

std::string SitemapJob::checkReportFile() const {
    return folder_.empty() ? kCheckReportName : pathToUtf8(utf8Path(folder_) / kCheckReportName);
}

SitemapJob::Outcome SitemapJob::failWalk(WalkResult result) {
    if (checkFailure_) return fail(checkFailure_);
    switch (result) {
        case WalkResult::TimeLimit:
            return fail(FailureKind::TimeLimit,
                        "the time limit of " + std::to_string(settings_.timeLimitSeconds) + " seconds was reached");
        case WalkResult::TooLarge:
            return fail(FailureKind::TooLarge, "more than " + std::to_string(walk_rules::kMaxFolders) + " folders or " +
                                       std::to_string(walk_rules::kMaxPages) + " pages");
        case WalkResult::ConnectionLost:
            return fail(FailureKind::ConnectionLost, reason_);
        case WalkResult::Stopped:
            return fail(FailureKind::Stopped);
        default:
            return fail(FailureKind::WriteFailed, reason_);
    }
}

// See upload::judge.
bool SitemapJob::uploadAllowed(Outcome& refused) {
    const long pages = walkStats_.pages;
    const auto before = pages > 0 ? run_log::lastCompletedPages(settings_.runLogFile, settings_.baseUrl) : std::nullopt;
    switch (upload::judge(pages, before, settings_.allowShrink)) {
        case upload::Verdict::Go: return true;
        case upload::Verdict::NoPages: refused = fail(FailureKind::NoPages); return false;
        case upload::Verdict::Shrunk: break;
    }
    if (observer_.askYesNo(messages::shrinkQuestion(*before, pages))) return true;
    refused = fail(Failure{FailureKind::Shrunk, {}, std::to_string(*before) + " " + std::to_string(pages)});
    return false;
}

void SitemapJob::writeRunLog(Outcome outcome, const std::tm& start) {
    if (settings_.runLogFile.empty()) return;
    RunRecord record;
    char started[64];
    std::snprintf(started, sizeof started, "%04d-%02d-%02d %02d:%02d:%02d", start.tm_year + 1900, start.tm_mon + 1,
                  start.tm_mday, start.tm_hour, start.tm_min, start.tm_sec);
    record.started = started;
    record.completed = outcome == Outcome::Completed;
    record.site = settings_.baseUrl;
    record.pages = walkStats_.pages;
    record.folders = walkStats_.foldersListed;
    record.leftOut = walkStats_.excludedByRobots + walkStats_.excludedByPattern;
    record.unreadable = walkStats_.missedFolders();
    record.seconds = elapsed_;
    if (!record.completed) {
        record.reason = messages::text(failure_);
    }
    std::string error;
    // The log is a record, not part of the result: a log that cannot be
    // written does not turn a good generation into a failed one.
    if (!run_log::append(settings_.runLogFile, record, error) && trace_) trace_(error);
}

SitemapJob::Outcome SitemapJob::run() {
    if (!settings_.knownHostsFile.empty()) knownHosts_ = std::make_shared<known_hosts::File>(settings_.knownHostsFile);
    hostKeys_ = std::make_shared<HostKeyPolicy>(
        settings_.trustedHostKey, [this](const std::string& host, const std::string& fingerprint) {
            return observer_.askYesNo(messages::hostKeyQuestion(host, fingerprint));
        });
    const std::string file = localFile();
    SitemapWriter::removeEarlierFiles(file);
    SitemapFile::remove(checkReportFile());  // an earlier run's report would mislead
    const std::tm start = localNow();
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = runPhases(file, start);
    elapsed_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (outcome == Outcome::Completed) {
        if (!walkStats_.unreadableNames.empty()) {
            std::vector<std::string> names = walkStats_.unreadableNames;
            std::sort(names.begin(), names.end());
            observer_.setUnreadableFolders(names);
        }
        // Folders whose pages may be missing stay in view beside the
        // completion, and with any option on, what went in and what was
        // left out.
        std::string line = settings_.sitemap == SitemapOptions{} ? messages::missedFoldersLine(walkStats_)
                                                                  : messages::countsLine(walkStats_, settings_.sitemap);
        if (check_) line += "  " + messages::checkedLine(*check_);
        observer_.setProgress(line);
    }
    if (reportWritten_) observer_.setCheckReport(checkReportFile());
    if (outcome == Outcome::Completed && check_ && !check_->robotsProblem.empty())
        observer_.showMessage(messages::robotsUnreadable(check_->robotsProblem));
    // Whatever became of the run, a WordPress user learns where the
    // pages' own sitemap is.
    if (wordPress_ && failure_.kind != FailureKind::Stopped)
        observer_.showMessage(messages::wordPressNotice(settings_.baseUrl, check_ != nullptr));
    writeRunLog(outcome, start);
    return outcome;
}

SitemapJob::Outcome SitemapJob::runPhases(const std::string& file, const std::tm& start) {
    if (settings_.timeLimitSeconds > 0)
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(settings_.timeLimitSeconds);
    observer_.setStatus(messages::kSearching);
    dropTrailingSlash(settings_.baseUrl);
    rules_ = std::make_unique<SiteRules>(settings_.baseUrl, settings_.mobile(), settings_.sitemap);
    auto remote = sessions_ ? sessions_(settings_.hostName) : RemoteSession::forHost(settings_.hostName);
    RemoteSession& session = *remote;
    Target target;
    bool written = false;
    if (settings_.connections > 0) {
        bool usable = false;
        WalkResult result = writeDocument(file, [&] { return fastWalk(session, target, usable); });
        if (usable && result != WalkResult::Ok) return failWalk(result);
        if (loginFailed_) return fail(loginFailed_);
        written = usable;
    }
    if (!written) {
        // Folder by folder: the target folder's listing first (the session
        // may hold it already from the fast walk's check).
        const bool refused =
            target.failure.kind == FailureKind::FolderRefused || target.failure.kind == FailureKind::ListingRefused;
        if (!refused && !target.final && (!target.listed || target.failure)) openTarget(session, target, nullptr);
        if (target.listed) showListing();
        // The walk was logged in and reading: a server that is now out of
        // reach went away.
        const FailureKind kind = target.failure.kind;
        const bool notLoggedIn = isFinalLoginFailure(kind) || kind == FailureKind::LoginFailed || kind == FailureKind::TlsRefused;
        if (notLoggedIn && serverSeen_) target.failure.kind = FailureKind::ConnectionLost;
        if (target.failure) return fail(target.failure);
        if (target.count > 0) {
            WalkResult result = writeDocument(file, [&] { return sequentialWalk(session, target.names); });
            if (result != WalkResult::Ok) return failWalk(result);
            written = true;
        }
    }

    if (stopped()) return fail(FailureKind::Stopped);
    Outcome refused = Outcome::Failed;
    if (settings_.upload() && !uploadAllowed(refused)) return refused;
    if (settings_.upload() && written) {
        observer_.setStatus(messages::kUploading);
        if (!session.connected() && !reopen(session)) return fail(FailureKind::UploadFailed, session.lastError());
        // Every file whole here before the first goes; the index last.
        if (Failure failed = upload::put(session, files_, [this] { return stopped(); })) return fail(failed);
        for (const auto& local : files_) SitemapFile::remove(local);
        files_.clear();
    }
    session.close();

    observer_.setControlsEnabled(true);
    observer_.setStatus(messages::completionLine(start.tm_year + 1900, start.tm_mon + 1, start.tm_mday, start.tm_hour,
                                       start.tm_min));
    return Outcome::Completed;
}
