#include "sitemap/SitemapJob.h"

#include <cstdio>
#include <ctime>

#include "ftp/FtpSession.h"
#include "sitemap/DirectoryWalk.h"
#include "sitemap/JobObserver.h"
#include "sitemap/ParallelWalk.h"
#include "sitemap/SitemapFile.h"
#include "sitemap/WalkRules.h"
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
    : settings_(std::move(settings)), observer_(observer), folder_(std::move(folder)) {}

std::string SitemapJob::localFile() const {
    if (folder_.empty()) return SitemapFile::kFileName;
    return pathToUtf8(utf8Path(folder_) / SitemapFile::kFileName);
}

std::string SitemapJob::completionLine(int year, int month, int day, int hour, int minute) {
    char text[64];
    std::snprintf(text, sizeof text, "更新完了 (%04d/%02d/%02d %02d:%02d)", year, month, day, hour, minute);
    return text;
}

std::string SitemapJob::missedFoldersLine(const WalkStats& stats) {
    std::string line;
    if (stats.unreadableFolders > 0)
        line += "一覧を取得できなかったフォルダ: " + std::to_string(stats.unreadableFolders);
    if (stats.tooDeepFolders > 0) {
        if (!line.empty()) line += "  ";
        line += "深すぎて読まなかったフォルダ: " + std::to_string(stats.tooDeepFolders);
    }
    return line;
}

SitemapJob::Outcome SitemapJob::fail(const std::string& message, const std::string& reason) {
    failureReason_ = reason;
    if (!message.empty()) observer_.showMessage(message);
    observer_.setStatus("");
    observer_.setControlsEnabled(true);
    return Outcome::Failed;
}

FtpOptions SitemapJob::ftpOptions(const std::string& label) const {
    FtpOptions options;
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

bool SitemapJob::reopen(FtpSession& session) {
    session.setOptions(ftpOptions("0"));
    return session.connect(settings_.hostName, settings_.accountName, settings_.password) == 1 &&
           (rootPath_.empty() || session.changeDirectory(rootPath_) == 1);
}

WalkResult SitemapJob::walk(FtpSession& session, const NameList& names) {
    WalkOptions options;
    options.baseUrl = settings_.baseUrl;
    options.mobile = settings_.mobile();
    options.fileName = partialFile_;
    options.deadline = deadline_;
    auto progress = [this](const std::string& folder) { observer_.setProgress(folder); };
    session.currentDirectory(rootPath_);

    if (settings_.connections > 0 && !rootPath_.empty() && rootPath_[0] == '/') {
        // The walk logs in on its own connections; this one steps aside so
        // that a server allowing a single login can still be walked.
        session.close();
        ParallelWalkOptions fast;
        fast.walk = options;
        fast.host = settings_.hostName;
        fast.account = settings_.accountName;
        fast.password = settings_.password;
        fast.connections = settings_.connections;
        fast.ftp = ftpOptions("fast");
        // Folders the fast walk cannot read are read here, folder by folder.
        auto fallback = [&](const std::string& path, const std::vector<std::string>& folders,
                            const std::vector<walk_rules::FolderIdentity>& ancestors, WalkStats& stats) {
            if (!session.connected() && !reopen(session)) return WalkResult::ConnectionLost;
            DirectoryWalk sequential(session, options, progress);
            WalkResult result = sequential.runFrom(path, folders, ancestors);
            stats.addFolderWalk(sequential.stats());
            return result;
        };
        bool usable = false;
        ParallelWalk parallel(fast, progress, fallback);
        WalkResult result = parallel.run(rootPath_, names, usable);
        if (usable) {
            walkStats_ = parallel.stats();
            if (result == WalkResult::ConnectionLost) failureReason_ = session.lastError();
            return result;
        }
        if (!session.connected() && !reopen(session)) return WalkResult::ConnectionLost;
        // Start the file again: the fast walk may have written some of it.
        SitemapFile::remove(options.fileName);
        if (!SitemapFile::appendToFile(options.fileName, SitemapFile::header(options.mobile)))
            return WalkResult::WriteFailed;
    }
    DirectoryWalk sequential(session, options, progress);
    WalkResult result = sequential.run(names);
    walkStats_ = sequential.stats();
    if (result == WalkResult::ConnectionLost) failureReason_ = session.lastError();
    return result;
}

// Header, the walk's entries and the closing tag, written under a name of
// its own and renamed when whole: a killed run never leaves a partial file
// that would pass for a whole one.
WalkResult SitemapJob::writeDocument(FtpSession& session, const NameList& names, const std::string& file) {
    partialFile_ = SitemapFile::createPartial(file, failureReason_);
    if (partialFile_.empty()) return WalkResult::WriteFailed;
    WalkResult result = WalkResult::WriteFailed;
    if (SitemapFile::appendToFile(partialFile_, SitemapFile::header(settings_.mobile())))
        result = walk(session, names);
    if (result == WalkResult::Ok && !SitemapFile::appendToFile(partialFile_, SitemapFile::kClosingTag))
        result = WalkResult::WriteFailed;
    if (result == WalkResult::Ok && !SitemapFile::commit(partialFile_, file, failureReason_))
        result = WalkResult::WriteFailed;
    if (result != WalkResult::Ok) SitemapFile::remove(partialFile_);
    return result;
}

SitemapJob::Outcome SitemapJob::failWalk(WalkResult result) {
    switch (result) {
        case WalkResult::TimeLimit:
            return fail(kTimeLimit,
                        "the time limit of " + std::to_string(settings_.timeLimitSeconds) + " seconds was reached");
        case WalkResult::TooLarge:
            return fail(kTooLarge, "more than " + std::to_string(walk_rules::kMaxFolders) + " folders or " +
                                       std::to_string(walk_rules::kMaxPages) + " pages");
        case WalkResult::ConnectionLost:
            return fail(kConnectionLost, failureReason_);
        default:
            return fail(kWriteFailed, failureReason_);
    }
}

SitemapJob::Outcome SitemapJob::run() {
    const std::string file = localFile();
    SitemapFile::remove(file);
    const std::tm start = localNow();

    if (settings_.timeLimitSeconds > 0)
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(settings_.timeLimitSeconds);
    observer_.setStatus(kSearching);
    FtpSession session;
    session.setOptions(ftpOptions("0"));
    if (session.connect(settings_.hostName, settings_.accountName, settings_.password) != 1)
        return fail(kCannotConnect, session.lastError());
    if (!settings_.targetFolder.empty() && settings_.targetFolder != "/" &&
        session.changeDirectory(settings_.targetFolder) != 1)
        return fail(session.connectionLost() ? kConnectionLost : kCannotChangeFolder, session.lastError());

    NameList names;
    int count = session.listNames(names);
    observer_.setStatus(kListing);
    if (count <= 0 && session.connectionLost()) return fail(kConnectionLost, session.lastError());
    // A refused or unreadable listing is not an empty folder.
    if (count <= 0 && session.lastListOutcome() != FtpSession::ListOutcome::Empty)
        return fail(kCannotList, session.lastError());

    bool written = false;
    if (count > 0) {
        dropTrailingSlash(settings_.baseUrl);
        dropTrailingSlash(settings_.targetFolder);
        WalkResult result = writeDocument(session, names, file);
        if (result != WalkResult::Ok) return failWalk(result);
        written = true;
    }

    if (settings_.upload() && written) {
        observer_.setStatus(kUploading);
        if (!session.connected() && !reopen(session)) return fail(kUploadFailed, session.lastError());
        if (session.putFile(file, SitemapFile::kFileName, 2) != 1) return fail(kUploadFailed, session.lastError());
        SitemapFile::remove(file);
    }
    session.close();

    observer_.setControlsEnabled(true);
    observer_.setStatus(completionLine(start.tm_year + 1900, start.tm_mon + 1, start.tm_mday, start.tm_hour,
                                       start.tm_min));
    // Folders whose pages may be missing stay in view beside the completion.
    observer_.setProgress(missedFoldersLine(walkStats_));
    return Outcome::Completed;
}
