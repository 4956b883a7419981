#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "remote/FolderReader.h"
#include "remote/LoginOptions.h"
#include "remote/RemoteSession.h"
#include "settings/JobSettings.h"
#include "util/Failure.h"

#include "remote/NameList.h"
#include "sitemap/SitemapWriter.h"
#include "walk/WalkResult.h"

class HostKeyPolicy;
struct SiteCheck;
class SiteRules;
class JobObserver;
struct WalkOptions;

// One whole generation: log in, stand in the target folder, write
// sitemap.xml (header, the walk's entries, closing tag), optionally upload
// it, and report phases and the result to the observer.
//
// The job works on its own copy of the settings. run() blocks; the caller
// puts it on a worker thread. Messages the job shows block it until the
// observer returns.
class SitemapJob {
public:
    enum class Outcome { Completed, Failed };

    // folder: where sitemap.xml is written; empty for the current directory.
    SitemapJob(JobSettings settings, JobObserver& observer, std::string folder = {});
    ~SitemapJob();

    Outcome run();

    // Every command and reply of every connection, the password masked,
    // from whichever thread runs it (so it must be thread-safe).
    void setTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

    // How the last walk went: connections 0 when it went folder by folder.
    // A completed generation with missedFolders() > 0 may lack pages (the
    // progress line says how many folders).
    const WalkStats& walkStats() const { return walkStats_; }

    // Why the generation failed: its kind, the server's or the client's
    // words, and the fingerprint or names where the kind has them.
    const Failure& failure() const { return failure_; }

    // The local file's path.
    std::string localFile() const;

    // The files written (the index, or the only file, last); after an
    // upload they are gone from here.
    const std::vector<std::string>& files() const { return files_; }


    // How the check on the live site went, when the options asked for it
    // and it ran; else null.
    const SiteCheck* siteCheck() const { return check_.get(); }
    // Where the check's report goes: sitemap-check.html beside sitemap.xml.
    std::string checkReportFile() const;
    static constexpr const char* kCheckReportName = "sitemap-check.html";

    // What became of robots.txt when the options ask for it.
    enum class Robots { NotAsked, Read, Missing };
    Robots robots() const { return robots_; }

    // How long the last run took, in seconds.
    double elapsedSeconds() const { return elapsed_; }

    // Stops the generation from another thread (the stop button, Ctrl+C):
    // every phase ends within a moment, nothing is uploaded after it, no
    // partial file is left, and run() fails with FailureKind::Stopped.
    void stop() { stop_->store(true); }
    // Shares the flag with the front end, which may set it before or while
    // the job runs.
    void setStopFlag(std::shared_ptr<std::atomic<bool>> flag) { stop_ = std::move(flag); }
    bool stopped() const { return stop_->load(); }

    // The logins a run makes: as the host text's scheme says, or a test's
    // own (in-process fakes).
    using SessionFactory = std::function<std::unique_ptr<RemoteSession>(const std::string& hostText)>;
    void setLogins(SessionFactory sessions, FolderReaderFactory readers) {
        sessions_ = std::move(sessions);
        readers_ = std::move(readers);
    }

    // Smaller limits for one file than the sitemap protocol's (tests).
    void setFileLimits(SitemapWriter::Limits limits) { limits_ = limits; }

private:
    // The target folder's own listing, read the classic way.
    struct Target {
        bool listed = false;  // in the folder, and its listing asked for
        Failure failure;      // why it could not be read
        bool final = false;   // and asking again would fail the same way (a deadline passed)
        int count = 0;
        NameList names;
    };

    Outcome runPhases(const std::string& file, const std::tm& start);
    bool uploadAllowed(Outcome& refused);
    void writeRunLog(Outcome outcome, const std::tm& start);
    Outcome fail(Failure failure);
    Outcome fail(FailureKind kind, std::string reason = {}) { return fail(Failure{kind, std::move(reason), {}}); }
    static Failure loginFailureOf(const RemoteSession& session);
    WalkResult writeDocument(const std::string& file, const std::function<WalkResult()>& walkEntries);
    WalkResult checkPages(SitemapWriter& writer);
    void writeCheckReports(const std::vector<std::string>& addresses);
    Outcome failWalk(WalkResult result);
    void openTarget(RemoteSession& session, Target& target, const std::atomic<bool>* giveUp);
    WalkResult fastWalk(RemoteSession& session, Target& target, bool& usable);
    WalkResult sequentialWalk(RemoteSession& session, const NameList& names);
    WalkOptions walkOptions() const;
    bool reopen(RemoteSession& session);
    void showListing();
    bool readRobots(RemoteSession& session);
    LoginOptions loginOptions(const std::string& label);

    JobSettings settings_;
    JobObserver& observer_;
    std::string folder_;
    std::string rootPath_;  // the target folder as the server reports it
    WalkStats walkStats_;
    Failure failure_;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<known_hosts::File> knownHosts_;  // read once per run
    std::string reason_;  // the words behind a walk's failure, until it is reported
    bool listingShown_ = false;
    bool wordPress_ = false;
    bool reportWritten_ = false;  // sitemap-check.html is this run's  // the target folder holds a WordPress install
    bool serverSeen_ = false;  // the fast walk logged in and read the target folder
    Failure loginFailed_;
    Failure checkFailure_;  // the check on the live site could not be trusted
    std::unique_ptr<SiteCheck> check_;  // the fast walk's first login, when no other is worth trying
    std::unique_ptr<SiteRules> rules_;
    SitemapWriter* out_ = nullptr;  // the files being written
    SitemapWriter::Limits limits_;
    std::vector<std::string> files_;
    Robots robots_ = Robots::NotAsked;
    double elapsed_ = 0;
    std::shared_ptr<HostKeyPolicy> hostKeys_;  // one per run, for every login
    std::function<void(const std::string&)> trace_;
    SessionFactory sessions_;     // empty: RemoteSession::forHost
    FolderReaderFactory readers_;  // empty: FolderReader::forHost
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
};
