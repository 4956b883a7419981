#include "sitemap/ParallelWalk.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "ftp/FtpControl.h"
#include "ftp/ListingParser.h"
#include "sitemap/Location.h"
#include "sitemap/SitemapFile.h"

namespace {

constexpr long long kProgressIntervalMs = 200;  // at most five updates a second

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool parsePwd(const FtpControl::Reply& reply, std::string& path) {
    return reply.code == 257 && !reply.lines.empty() && listing::parsePwdReply(reply.lines.front(), path) &&
           !path.empty() && path[0] == '/';
}

std::string mlstUnique(const FtpControl::Reply& reply) {
    return reply.code == 250 ? listing::mlstUniqueId(reply.lines) : std::string();
}

bool isStatListing(const FtpControl::Reply& reply) { return reply.code >= 211 && reply.code <= 213; }

std::string childPath(const std::string& parent, const std::string& name) {
    return parent == "/" ? "/" + name : parent + "/" + name;
}

// The names a walk looks at: "." and ".." (listed by some servers in one
// listing and not in another) are skipped by every walk anyway.
std::vector<std::string> walkedNames(const NameList& names) {
    std::vector<std::string> result;
    for (const auto& e : names)
        if (e.name != "." && e.name != "..") result.push_back(e.name);
    return result;
}

}  // namespace

struct ParallelWalk::Node {
    Node* parent = nullptr;
    std::vector<unsigned> place;  // child indices from the root: the order in the file
    std::string name;
    std::string path;  // where the server put us: reported after CWD, else asked
    std::string id;    // the server's identity for the folder, if any
    int depth = 0;
    enum class State { Waiting, Listed, Skipped } state = State::Waiting;
    std::string block;
    bool blockWritten = false;
    std::vector<std::unique_ptr<Node>> children;
    size_t nextChild = 0;  // children before this one are in the file
};

struct ParallelWalk::Probe {
    bool entered = false;
    std::string path;
    std::string id;
    NameList names;
};

ParallelWalk::ParallelWalk(ParallelWalkOptions options, Progress progress)
    : options_(std::move(options)), progress_(std::move(progress)) {
    options_.connections = std::clamp(options_.connections, 1, 64);
    options_.pipelineDepth = std::clamp(options_.pipelineDepth, 1, 64);
}

ParallelWalk::~ParallelWalk() = default;

WalkStats ParallelWalk::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

bool ParallelWalk::probe(FtpControl& control, const std::vector<Node*>& batch, std::vector<Probe>& results) {
    std::vector<std::string> commands;
    for (const Node* node : batch) {
        commands.push_back("CWD " + node->path);
        commands.push_back("PWD");
        if (useMlst_) commands.push_back("MLST");
        commands.push_back("STAT .");  // "." never holds wildcards a server would expand
    }
    commands.push_back("NOOP");  // its reply must come last: proof that none was shifted
    if (!control.send(commands)) return false;
    results.assign(batch.size(), Probe{});
    for (size_t i = 0; i < batch.size(); ++i) {
        FtpControl::Reply cwd, pwd, mlst, stat;
        if (!control.readReply(cwd) || !control.readReply(pwd)) return false;
        if (useMlst_ && !control.readReply(mlst)) return false;
        if (!control.readReply(stat)) return false;
        // Replies that do not fit their commands mean the connection lost
        // count (a name holding a line break could do that): drop it, and
        // let the others ask again.
        bool fits = cwd.code != 0 && (cwd.code >= 400 || pwd.code == 257) &&
                    (isStatListing(stat) || stat.code >= 400) && (!useMlst_ || mlst.code == 250 || mlst.code >= 400);
        if (!fits) return !(confused_ = true);
        Probe& result = results[i];
        result.entered = cwd.code >= 200 && cwd.code < 300;
        if (!result.entered) continue;
        if (!parsePwd(pwd, result.path)) result.path = batch[i]->path;
        result.id = mlstUnique(mlst);
        if (isStatListing(stat)) listing::parseStatReply(stat.lines, result.names);
    }
    FtpControl::Reply noop;
    if (!control.readReply(noop)) return false;
    if (noop.code != 200) return !(confused_ = true);
    return true;
}

bool ParallelWalk::isAncestor(const Node* node, const std::string& id, const std::string& path) const {
    for (const Node* up = node->parent; up; up = up->parent) {
        if (!id.empty() && up->id == id) return true;
        if (!path.empty() && up->path == path) return true;
    }
    return false;
}

// Builds a listed folder's block and queues its sub-folders (under the lock).
void ParallelWalk::list(Node* node, const NameList& names) {
    node->state = Node::State::Listed;
    std::vector<std::string> folders;
    for (Node* up = node; up->parent; up = up->parent) folders.push_back(up->name);
    std::reverse(folders.begin(), folders.end());
    for (const auto& entry : names) {
        if (DirectoryWalk::isPage(entry.name)) {
            auto url = location::pageUrl(options_.walk.baseUrl, folders, entry.name);
            node->block += SitemapFile::entry(location::xmlEscape(url), options_.walk.mobile);
        } else if (entry.name.find('.') == std::string::npos && entry.kind != EntryKind::File &&
                   node->depth < options_.walk.maxDepth) {
            auto child = std::make_unique<Node>();
            child->parent = node;
            child->place = node->place;
            child->place.push_back(static_cast<unsigned>(node->children.size()));
            child->name = entry.name;
            child->path = childPath(node->path, entry.name);
            child->depth = node->depth + 1;
            queue_[child->place] = child.get();
            node->children.push_back(std::move(child));
        }
    }
    long long now = nowMs();
    if (progress_ && now - lastProgressMs_ >= kProgressIntervalMs) {
        lastProgressMs_ = now;
        progress_(location::folderDisplay(options_.walk.baseUrl, folders));
    }
}

void ParallelWalk::apply(Node* node, const Probe& result) {
    ++stats_.folders;
    if (!result.entered || isAncestor(node, result.id, result.path) || result.names.empty()) {
        node->state = Node::State::Skipped;
        node->children.clear();
        return;
    }
    node->path = result.path;
    node->id = result.id;
    list(node, result.names);
}

// Writes every block whose turn has come: the file is in post-order.
bool ParallelWalk::flushNode(Node* node) {
    if (node->state == Node::State::Waiting) return false;
    if (node->state == Node::State::Skipped) return true;
    for (; node->nextChild < node->children.size(); ++node->nextChild)
        if (!flushNode(node->children[node->nextChild].get())) return false;
    if (!node->blockWritten) {
        if (!SitemapFile::appendToFile(options_.walk.fileName, node->block)) {
            finish(WalkResult::WriteFailed);
            return false;
        }
        node->blockWritten = true;
        node->block = std::string();
        node->children.clear();  // written: nothing of them is needed any more
        node->nextChild = 0;
    }
    return true;
}

void ParallelWalk::flush() {
    if (!finished_) flushNode(root_.get());
}

void ParallelWalk::finish(WalkResult result) {
    if (finished_) return;
    finished_ = true;
    result_ = result;
    changed_.notify_all();
}

void ParallelWalk::worker(std::unique_ptr<FtpControl> control) {
    std::vector<Node*> batch;
    std::vector<Probe> results;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return finished_ || !queue_.empty(); });
            if (finished_) break;
            batch.clear();
            while (!queue_.empty() && static_cast<int>(batch.size()) < options_.pipelineDepth) {
                batch.push_back(queue_.begin()->second);
                queue_.erase(queue_.begin());
            }
            inFlight_ += static_cast<int>(batch.size());
            ++stats_.roundTrips;
        }
        bool ok = probe(*control, batch, results);
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ -= static_cast<int>(batch.size());
        if (!ok && confused_) {
            // Replies out of step: nothing read on this connection can be
            // trusted, and another one would fare the same. Give up; the
            // caller walks folder by folder instead.
            finish(WalkResult::ConnectionLost);
            return;
        }
        if (!ok) {
            // This connection is gone: its folders go back for the others.
            for (Node* node : batch) queue_[node->place] = node;
            if (--alive_ == 0) finish(WalkResult::ConnectionLost);
            changed_.notify_all();
            return;
        }
        for (size_t i = 0; i < batch.size(); ++i) apply(batch[i], results[i]);
        flush();
        if (queue_.empty() && inFlight_ == 0) finish(result_);
        changed_.notify_all();
    }
}

WalkResult ParallelWalk::run(const std::string& rootPath, const NameList& rootNames, bool& usable) {
    usable = false;
    if (rootPath.empty() || rootPath[0] != '/') return WalkResult::Ok;
    auto first = std::make_unique<FtpControl>();
    if (first->connect(options_.host, options_.account, options_.password) != 1) return WalkResult::Ok;
    first->send({"OPTS MLST type;unique;"});
    FtpControl::Reply ignored;
    if (!first->readReply(ignored)) return WalkResult::Ok;

    // The root, asked for as every other folder will be: it must list the
    // same names in the same order as the folder listing did.
    root_ = std::make_unique<Node>();
    root_->path = rootPath;
    std::vector<Probe> rootProbe;
    if (!probe(*first, {root_.get()}, rootProbe)) return WalkResult::Ok;  // not usable
    if (useMlst_ && rootProbe[0].id.empty()) useMlst_ = false;  // no identity to be had this way
    if (!rootProbe[0].entered || walkedNames(rootProbe[0].names) != walkedNames(rootNames)) return WalkResult::Ok;
    usable = true;
    root_->path = rootProbe[0].path;
    root_->id = rootProbe[0].id;

    std::unique_lock<std::mutex> lock(mutex_);
    stats_.connections = 1;
    stats_.roundTrips = 1;
    list(root_.get(), rootNames);
    flush();
    if (queue_.empty()) {
        finish(result_);
        return result_;
    }
    alive_ = 1;
    lock.unlock();

    std::vector<std::thread> threads;
    threads.emplace_back(&ParallelWalk::worker, this, std::move(first));
    for (int i = 1; i < options_.connections; ++i) {
        threads.emplace_back([this] {
            auto control = std::make_unique<FtpControl>();
            // A server that refuses one more login leaves the work to the others.
            if (control->connect(options_.host, options_.account, options_.password) != 1) return;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                if (finished_) return;
                ++alive_;
                ++stats_.connections;
            }
            control->send({"OPTS MLST type;unique;"});
            FtpControl::Reply reply;
            if (!control->readReply(reply)) {
                std::lock_guard<std::mutex> guard(mutex_);
                if (--alive_ == 0) finish(WalkResult::ConnectionLost);
                return;
            }
            worker(std::move(control));
        });
    }
    for (auto& t : threads) t.join();
    std::lock_guard<std::mutex> done(mutex_);
    if (confused_) usable = false;
    return result_;
}
