#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "remote/FolderReader.h"
#include "remote/LoginOptions.h"
#include "remote/NameList.h"
#include "walk/DirectoryWalk.h"
#include "walk/WalkResult.h"
#include "walk/WalkRules.h"

struct ParallelWalkOptions {
    WalkOptions walk;
    std::string host, account, password;
    LoginOptions login;  // its cancel flag is the walk's own
    FolderReaderFactory readers;  // empty: FolderReader::forHost
    int connections = 4;    // logins walking at once; fewer when the server refuses more
    int pipelineDepth = 8;  // folders asked for at once on one connection, at least
    int maxBatch = 64;      // and at most, when many folders wait for few connections
    // Nothing is written before the caller's listing of the root is in:
    // the rules may depend on what it read there (robots.txt).
    bool writeAfterRootListing = false;
};

// The same walk as DirectoryWalk, with the same file as result, but fast:
// several connections read different sub-trees at once, and each asks for
// several folders in one round trip (over FTP: CWD, PWD, MLST and STAT
// pipelined on the control connection, no data connection at all; over
// SFTP: directory reads in flight at once; see FolderReader). Blocks are written in the
// walk's post-order although folders finish in any order: a finished folder
// (its pages) waits in memory until everything before it in the file is
// written; its entries are made then.
//
// A folder whose probe comes back odd (refused or unreadable STAT, a
// preliminary reply to CWD, no answer at all) is handed to the fallback,
// which reads it and its sub-tree folder by folder once the connections
// are closed, in its place in the file.
//
// Threads: run() starts one thread per connection, and one for the root
// lister, and joins them before it returns. The progress callback runs on
// a connection thread with the walk's mutex held: it must be quick and must
// not call back into the walk.
class ParallelWalk {
public:
    using Progress = std::function<void(const std::string& folderAddress)>;
    // Walks the folder at path, below the root by folders, below ancestors
    // (root first), appending its blocks to the file; adds to stats.
    using Fallback = std::function<WalkResult(const std::string& path, const std::vector<std::string>& folders,
                                              const std::vector<walk_rules::FolderIdentity>& ancestors,
                                              WalkStats& stats)>;

    // The target folder's own listing, read the caller's way (a folder
    // listing on a login of its own). The walk counts only when it agrees
    // with what STAT gave: the same path, the same names in the same order.
    struct RootListing {
        enum class State { Listed, Failed, Later } state = State::Failed;
        std::string path;  // as the server reports it
        NameList names;
    };
    // Called on a thread of its own while the walk goes on: a login still
    // on its way when giveUp is set should give up and answer Later (say,
    // the server allows no more logins). After Later it is called once more,
    // when every connection of the walk is closed, with giveUp null.
    using RootLister = std::function<RootListing(const std::atomic<bool>* giveUp)>;

    ParallelWalk(ParallelWalkOptions options, Progress progress, Fallback fallback);
    ~ParallelWalk();

    // Logs in, enters targetFolder (as the user gave it, relative to the
    // login folder; empty or "/" for the login folder itself) and reads it
    // as it reads every other folder; the other logins start meanwhile.
    // When the server cannot be walked this way (no login, folder refused,
    // empty or no STAT listing, replies out of step, the check disagreed),
    // usable is false and what was written must be thrown away: the caller
    // reads the target folder its own way.
    WalkResult run(const std::string& targetFolder, const RootLister& lister, bool& usable);

    WalkStats stats() const;

    // Why the first login failed, when it did (then nothing else was
    // tried, and run() returned with usable false).
    FailureKind loginFailure() const { return loginFailure_; }
    const std::string& loginError() const { return loginError_; }
    // Why the walk ended on ConnectionLost when a connection of its own
    // said why; empty otherwise.
    const std::string& failureReason() const { return failureReason_; }

private:
    struct Node;
    using Probe = FolderReading;

    void worker(std::unique_ptr<FolderReader> reader);
    std::unique_ptr<FolderReader> newReader(LoginOptions options) const;
    void loginAndWork(LoginOptions options);
    LoginOptions connectionOptions();  // options_.login with the connection named in the trace
    size_t probe(FolderReader& reader, const std::vector<Node*>& batch, std::vector<Probe>& results);
    size_t batchSize() const;
    bool readRoot(FolderReader& reader, const std::string& targetFolder);
    void judgeRoot();
    bool rootAgrees() const;
    bool mayWrite() const;
    void apply(Node* node, const Probe& result);
    void list(Node* node, const NameList& names);
    Node* flush();  // the node the file waits for, or null when all is written
    bool flushNode(Node* node, Node*& waitingFor);
    void finish(WalkResult result);
    void connectionGone();
    static std::vector<std::string> folderNames(const Node* node);
    WalkResult readOddFolders();

    ParallelWalkOptions options_;
    Progress progress_;
    Fallback fallback_;
    bool useMlst_ = true;
    FailureKind loginFailure_ = FailureKind::None;
    std::string loginError_;
    std::string failureReason_;  // under the lock
    std::atomic<bool> confused_{false};  // replies came out of step with the commands
    std::atomic<bool> stopLister_{false};  // the walk is over: the lister's login gives up
    // The caller's listing of the root came before the first connection's:
    // that one gives up waiting (see readRoot); the folder walk goes on.
    std::atomic<bool> rootAnswered_{false};
    bool rootRead_ = false;    // the first connection has read the target folder
    bool listerDone_ = false;  // the caller's listing of it is in rootListing_
    RootListing rootListing_;
    int traceLabels_ = 0;
    std::atomic<bool> stopLogins_{false};  // the walk is over: logins still on their way give up

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<Node> root_;
    NameList rootNames_;  // the root's STAT listing, for the check
    std::map<std::vector<unsigned>, Node*> queue_;  // by place in the file: earliest first
    walk_rules::AncestorGuard guard_;
    size_t entriesListed_ = 0;  // in every folder listed so far
    // A round trip asks for about this many entries at most.
    static constexpr size_t kEntriesPerRoundTrip = 512;
    // A folder whose own size in its parent's listing passes this (about
    // 8,000 names on common file systems) is read folder by folder.
    static constexpr long long kLargeFolderBytes = 256 << 10;
    int inFlight_ = 0;
    int alive_ = 0;
    bool finished_ = false;
    WalkResult result_ = WalkResult::Ok;
    WalkStats stats_;
    long long lastProgressMs_ = -1000000;
    long pagesSeen_ = 0;  // against the budget, written or not
};
