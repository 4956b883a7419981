#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ftp/NameList.h"
#include "sitemap/DirectoryWalk.h"

class FtpControl;

struct ParallelWalkOptions {
    WalkOptions walk;
    std::string host, account, password;
    int connections = 4;    // logins walking at once; fewer when the server refuses more
    int pipelineDepth = 8;  // folders asked for at once on one connection
};

struct WalkStats {
    int connections = 0;  // logins that took part
    int folders = 0;      // folders asked for
    int roundTrips = 0;   // batches of commands sent and answered
};

// The same walk as DirectoryWalk, with the same file as result, but fast:
// several connections read different sub-trees at once, and each asks for
// several folders in one round trip (CWD, PWD, MLST and STAT pipelined on the
// control connection, no data connection at all). Blocks are written in the
// walk's post-order although folders finish in any order: a finished folder
// waits in memory until everything before it in the file is written.
class ParallelWalk {
public:
    using Progress = std::function<void(const std::string& folderAddress)>;

    ParallelWalk(ParallelWalkOptions options, Progress progress);
    ~ParallelWalk();

    // rootPath: the absolute path of the folder the walk starts in, as the
    // server reports it; rootNames: its listing. When the server cannot be
    // walked this way (no login, no STAT listings, STAT lists otherwise than
    // the folder listing, or replies came out of step), usable is false and
    // what was written must be thrown away.
    WalkResult run(const std::string& rootPath, const NameList& rootNames, bool& usable);

    WalkStats stats() const;

private:
    struct Node;
    struct Probe;

    void worker(std::unique_ptr<FtpControl> control);
    bool probe(FtpControl& control, const std::vector<Node*>& batch, std::vector<Probe>& results);
    void apply(Node* node, const Probe& result);
    void list(Node* node, const NameList& names);
    bool isAncestor(const Node* node, const std::string& id, const std::string& path) const;
    void flush();
    bool flushNode(Node* node);
    void finish(WalkResult result);

    ParallelWalkOptions options_;
    Progress progress_;
    bool useMlst_ = true;
    std::atomic<bool> confused_{false};  // replies came out of step with the commands

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<Node> root_;
    std::map<std::vector<unsigned>, Node*> queue_;  // by place in the file: earliest first
    int inFlight_ = 0;
    int alive_ = 0;
    bool finished_ = false;
    WalkResult result_ = WalkResult::Ok;
    WalkStats stats_;
    long long lastProgressMs_ = -1000000;
};
