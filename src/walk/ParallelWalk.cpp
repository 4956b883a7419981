#include "walk/ParallelWalk.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "remote/FolderReader.h"
#include "remote/ftp/ListingParser.h"
#include "sitemap/Location.h"
#include "sitemap/SiteRules.h"
#include "sitemap/SitemapWriter.h"

using walk_rules::FolderIdentity;

namespace {

constexpr long long kProgressIntervalMs = 200;  // at most five updates a second

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string childPath(const std::string& parent, const std::string& name) {
    return parent == "/" ? "/" + name : parent + "/" + name;
}

}  // namespace

struct ParallelWalk::Node {
    Node* parent = nullptr;
    std::vector<unsigned> place;  // child indices from the root: the order in the file
    std::string name;
    EntryKind kind = EntryKind::Unknown;  // as its parent's listing gave it
    FolderIdentity identity;  // path: where the server put us (reported after CWD, else asked)
    int depth = 0;
    // Odd: to be read folder by folder by the fallback.
    enum class State { Waiting, Listed, Skipped, Odd } state = State::Waiting;
    NameList pages;  // until its entries are written
    bool blockWritten = false;
    std::vector<std::unique_ptr<Node>> children;
    size_t nextChild = 0;  // children before this one are in the file
};

ParallelWalk::ParallelWalk(ParallelWalkOptions options, Progress progress, Fallback fallback)
    : options_(std::move(options)), progress_(std::move(progress)), fallback_(std::move(fallback)) {
    options_.connections = std::clamp(options_.connections, 1, 64);
    options_.pipelineDepth = std::clamp(options_.pipelineDepth, 1, 64);
    options_.login.cancel = &stopLogins_;
}

ParallelWalk::~ParallelWalk() = default;

WalkStats ParallelWalk::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

// Asks for the batch in one round trip. Returns how many folders were
// answered in full (see FolderProbe::probe).
size_t ParallelWalk::probe(FolderReader& reader, const std::vector<Node*>& batch, std::vector<Probe>& results) {
    std::vector<std::string> paths;
    for (const Node* node : batch) paths.push_back(node->identity.path);
    size_t answered = reader.read(paths, results, useMlst_);
    if (reader.outOfStep()) confused_ = true;
    return answered;
}

// The names from the root down to the node: its place below the root.
std::vector<std::string> ParallelWalk::folderNames(const Node* node) {
    std::vector<std::string> folders;
    for (const Node* up = node; up->parent; up = up->parent) folders.push_back(up->name);
    std::reverse(folders.begin(), folders.end());
    return folders;
}

// A connection is gone (under the lock): when it was the last, what waits
// in the queue is read folder by folder later; when nothing is left to do,
// the walk ends.
void ParallelWalk::connectionGone() {
    if (--alive_ == 0) {
        for (auto& [place, node] : queue_) node->state = Node::State::Odd;
        queue_.clear();
    }
    if (queue_.empty() && inFlight_ == 0) finish(WalkResult::Ok);
    changed_.notify_all();
}

// Keeps a listed folder's pages and queues its sub-folders (under the lock).
void ParallelWalk::list(Node* node, const NameList& names) {
    node->state = Node::State::Listed;
    entriesListed_ += names.size();
    std::vector<std::string> folders = folderNames(node);
    const SiteRules& rules = *options_.walk.rules;
    for (const auto& entry : names) {
        if (rules.isPage(entry.name)) {
            if (++pagesSeen_ > options_.walk.maxPages) return finish(WalkResult::TooLarge);
            node->pages.push_back({entry.name, entry.kind, {}, {}, entry.modified});
        } else if (walk_rules::mayBeFolder(entry)) {
            folders.push_back(entry.name);
            const bool excluded = !rules.entersFolder(folders, stats_);
            folders.pop_back();
            if (excluded) continue;
            if (node->depth >= options_.walk.maxDepth) {
                ++stats_.tooDeepFolders;
                continue;
            }
            auto child = std::make_unique<Node>();
            child->parent = node;
            child->place = node->place;
            child->place.push_back(static_cast<unsigned>(node->children.size()));
            child->name = entry.name;
            child->kind = entry.kind;
            child->identity.path = childPath(node->identity.path, entry.name);
            child->depth = node->depth + 1;
            // A folder listed this large holds thousands of names: some
            // servers (ProFTPD) spend minutes over its STAT where its LIST
            // takes seconds, so it is read folder by folder.
            if (entry.size > kLargeFolderBytes)
                child->state = Node::State::Odd;
            else
                queue_[child->place] = child.get();
            node->children.push_back(std::move(child));
        }
    }
    long long now = nowMs();
    if (progress_ && now - lastProgressMs_ >= kProgressIntervalMs) {
        lastProgressMs_ = now;
        progress_(location::folderDisplay(rules.baseUrl(), folders));
    }
}

void ParallelWalk::apply(Node* node, const Probe& result) {
    if (++stats_.folders > options_.walk.maxFolders) return finish(WalkResult::TooLarge);
    if (result.odd) {
        if (!result.path.empty()) node->identity.path = result.path;
        node->state = Node::State::Odd;
        return;
    }
    node->state = Node::State::Skipped;
    if (!result.entered && node->kind == EntryKind::Folder) stats_.unreadable(folderNames(node));
    if (!result.entered || result.names.empty()) return;
    FolderIdentity here{result.id, result.path, walk_rules::listingSignature(result.names)};
    std::vector<const FolderIdentity*> ancestors;
    for (const Node* up = node->parent; up; up = up->parent) ancestors.push_back(&up->identity);
    if (guard_.isAncestor(here, ancestors)) return;
    node->identity = std::move(here);
    list(node, result.names);
}

// Writes every block whose turn has come: the file is in post-order.
bool ParallelWalk::flushNode(Node* node, Node*& waitingFor) {
    if (node->state == Node::State::Waiting || node->state == Node::State::Odd) {
        waitingFor = node;
        return false;
    }
    if (node->state == Node::State::Skipped) return true;
    for (; node->nextChild < node->children.size(); ++node->nextChild)
        if (!flushNode(node->children[node->nextChild].get(), waitingFor)) return false;
    if (!node->blockWritten) {
        std::string block;
        options_.walk.rules->appendEntries(folderNames(node), node->pages, block, stats_);
        if (!options_.walk.out->write(block)) {
            finish(WalkResult::WriteFailed);
            return false;
        }
        node->blockWritten = true;
        node->pages = NameList();
        node->children.clear();  // written: nothing of them is needed any more
        node->nextChild = 0;
    }
    return true;
}

bool ParallelWalk::mayWrite() const {
    return !options_.writeAfterRootListing || (listerDone_ && rootListing_.state != RootListing::State::Later);
}

ParallelWalk::Node* ParallelWalk::flush() {
    Node* waitingFor = nullptr;
    if ((!finished_ || result_ == WalkResult::Ok) && mayWrite()) flushNode(root_.get(), waitingFor);
    return waitingFor;
}

void ParallelWalk::finish(WalkResult result) {
    if (finished_) return;
    finished_ = true;
    stopLogins_ = true;
    result_ = result;
    changed_.notify_all();
}

// How many folders a connection asks for in its next round trip (under the
// lock): its share of the queue, so that a wide level of the tree costs few
// round trips, as far as the replies stay small (folders listed so far tell
// how large they come), and no fewer than the pipeline depth.
size_t ParallelWalk::batchSize() const {
    const size_t connections = static_cast<size_t>(std::max(alive_, 1));
    const size_t share = (queue_.size() + connections - 1) / connections;
    const size_t foldersListed = static_cast<size_t>(std::max(1L, stats_.folders));
    const size_t entriesPerFolder = std::max<size_t>(1, entriesListed_ / foldersListed);
    const size_t byReplySize = kEntriesPerRoundTrip / entriesPerFolder;
    return std::clamp(std::min(share, byReplySize), static_cast<size_t>(options_.pipelineDepth),
                      static_cast<size_t>(options_.maxBatch));
}

void ParallelWalk::worker(std::unique_ptr<FolderReader> reader) {
    std::vector<Node*> batch;
    std::vector<Probe> results;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return finished_ || !queue_.empty(); });
            if (!finished_ && options_.walk.stopped()) finish(WalkResult::Stopped);
            if (!finished_ && options_.walk.pastDeadline()) finish(WalkResult::TimeLimit);
            if (finished_) break;
            batch.clear();
            const size_t size = batchSize();
            while (!queue_.empty() && batch.size() < size) {
                batch.push_back(queue_.begin()->second);
                queue_.erase(queue_.begin());
            }
            inFlight_ += static_cast<int>(batch.size());
            ++stats_.roundTrips;
        }
        size_t answered = probe(*reader, batch, results);
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ -= static_cast<int>(batch.size());
        if (options_.walk.stopped()) {
            finish(WalkResult::Stopped);  // what the connections broke off is not read again
            return;
        }
        if (confused_) {
            // Replies out of step: nothing read on this connection can be
            // trusted, and another one would fare the same. Give up; the
            // caller walks folder by folder instead.
            finish(WalkResult::ConnectionLost);
            return;
        }
        if (answered < batch.size() && !reader->overdue().empty()) {
            // Given up on a deadline that the folder walk would meet again.
            if (failureReason_.empty()) failureReason_ = reader->overdue();
            finish(WalkResult::ConnectionLost);
            return;
        }
        if (answered < batch.size()) {
            // The connection broke or went silent at one folder: that one is
            // read another way, the others go back to the queue.
            batch[answered]->state = Node::State::Odd;
            for (size_t i = 0; i < batch.size(); ++i)
                if (i != answered) queue_[batch[i]->place] = batch[i];
            connectionGone();
            return;
        }
        for (size_t i = 0; i < batch.size() && !finished_; ++i) apply(batch[i], results[i]);
        flush();
        if (queue_.empty() && inFlight_ == 0) finish(result_);
        changed_.notify_all();
    }
}

LoginOptions ParallelWalk::connectionOptions() {
    LoginOptions options = options_.login;
    if (options.trace) {
        auto trace = options.trace;
        std::string label = "#" + std::to_string(++traceLabels_) + " ";
        options.trace = [trace, label](const std::string& line) { trace(label + line); };
    }
    return options;
}

std::unique_ptr<FolderReader> ParallelWalk::newReader(LoginOptions options) const {
    return options_.readers ? options_.readers(options_.host, std::move(options))
                            : FolderReader::forHost(options_.host, std::move(options));
}

void ParallelWalk::loginAndWork(LoginOptions options) {
    auto reader = newReader(std::move(options));
    // A server that refuses one more login leaves the work to the others.
    if (reader->connect(options_.host, options_.account, options_.password) != 1) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (finished_) return;
        ++alive_;
        ++stats_.connections;
    }
    worker(std::move(reader));
}

// With every connection closed: reads the odd folders, each in its place in
// the file, through the fallback.
WalkResult ParallelWalk::readOddFolders() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (result_ == WalkResult::Ok) {
        Node* node = flush();
        if (!node || result_ != WalkResult::Ok) break;
        if (!fallback_) return WalkResult::ConnectionLost;
        const std::vector<std::string> folders = folderNames(node);
        std::vector<FolderIdentity> ancestors;
        for (Node* up = node->parent; up; up = up->parent) ancestors.push_back(up->identity);
        std::reverse(ancestors.begin(), ancestors.end());
        ++stats_.fallbackFolders;
        lock.unlock();
        WalkResult result = fallback_(node->identity.path, folders, ancestors, stats_);
        lock.lock();
        if (result != WalkResult::Ok) {
            result_ = result;
            break;
        }
        node->state = Node::State::Listed;  // its blocks are in the file
        node->blockWritten = true;
        node->children.clear();
    }
    return result_;
}

// Enters the target folder on the first connection and lists it, as every
// other folder is read, and queues what it holds (under the lock). False
// when the server cannot be walked this way.
bool ParallelWalk::readRoot(FolderReader& reader, const std::string& targetFolder) {
    const std::string target = targetFolder.empty() || targetFolder == "/" ? reader.entryPath() : targetFolder;
    if (target.empty()) return false;
    root_ = std::make_unique<Node>();
    root_->identity.path = target;
    std::vector<Probe> rootProbe;
    if (probe(reader, {root_.get()}, rootProbe) != 1 || confused_) return false;
    const std::string elsewhere = reader.alternativeTarget(target);
    if (!rootProbe[0].entered && !elsewhere.empty()) {
        root_->identity.path = elsewhere;
        if (probe(reader, {root_.get()}, rootProbe) != 1 || confused_) return false;
    }
    const Probe& root = rootProbe[0];
    // An empty or refused folder is left to the caller: its messages and
    // its empty sitemap come from the folder listing.
    if (!root.entered || root.odd || walk_rules::walkedNames(root.names).empty() || !listing::isUsablePath(root.path))
        return false;
    rootNames_ = root.names;
    std::lock_guard<std::mutex> lock(mutex_);
    if (useMlst_ && root.id.empty()) useMlst_ = false;  // no identity to be had this way
    root_->identity = {root.id, root.path, walk_rules::listingSignature(root.names)};
    stats_.connections += 1;
    stats_.roundTrips += 1;
    stats_.folders = 1;
    list(root_.get(), root.names);
    flush();
    if (queue_.empty()) finish(result_);
    rootRead_ = true;
    rootAnswered_ = false;  // the connection goes on with the walk
    judgeRoot();
    changed_.notify_all();
    return true;
}

bool ParallelWalk::rootAgrees() const {
    return rootListing_.state == RootListing::State::Listed && rootListing_.path == root_->identity.path &&
           walk_rules::walkedNames(rootListing_.names) == walk_rules::walkedNames(rootNames_);
}

// Once both listings of the root are in (under the lock): a disagreement
// ends the walk at once.
void ParallelWalk::judgeRoot() {
    if (rootRead_ && listerDone_ && rootListing_.state != RootListing::State::Later && !rootAgrees())
        finish(WalkResult::ConnectionLost);
}

WalkResult ParallelWalk::run(const std::string& targetFolder, const RootLister& lister, bool& usable) {
    usable = false;
    const auto started = std::chrono::steady_clock::now();
    // The other logins, and the caller's, start once the first one has been
    // accepted: a wrong password costs one refused login, not one per
    // connection (hosts ban an address after a few).
    std::vector<std::thread> threads;
    std::thread listerThread;
    auto startOthers = [&] {
        std::lock_guard<std::mutex> starting(mutex_);
        for (int i = 1; i < options_.connections; ++i)
            threads.emplace_back(&ParallelWalk::loginAndWork, this, connectionOptions());
        listerThread = std::thread([this, &lister] {
            RootListing listing = lister(&stopLister_);
            std::lock_guard<std::mutex> lock(mutex_);
            rootListing_ = std::move(listing);
            listerDone_ = true;
            // Listed before the first connection's STAT came: that server
            // is slow to STAT this folder (ProFTPD, thousands of names).
            if (!rootRead_ && rootListing_.state == RootListing::State::Listed) rootAnswered_ = true;
            judgeRoot();
            if (rootRead_) flush();  // what waited for it
            changed_.notify_all();
        });
    };
    LoginOptions firstOptions = connectionOptions();
    firstOptions.abandon = &rootAnswered_;
    auto first = newReader(std::move(firstOptions));
    const bool loggedIn = first->connect(options_.host, options_.account, options_.password) == 1;
    const auto loginTime = std::chrono::steady_clock::now() - started;
    if (!loggedIn) {
        loginFailure_ = first->loginFailure();
        loginError_ = first->loginError();
        return WalkResult::Ok;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++alive_;
    }
    startOthers();
    if (readRoot(*first, targetFolder)) {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.emplace_back(&ParallelWalk::worker, this, std::move(first));
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        finish(WalkResult::Ok);
    }
    for (auto& t : threads) t.join();
    first.reset();
    {
        // The caller's login may be nearly done: give it about as long again
        // as the first login took, then ask it to give up.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, 2 * loginTime + std::chrono::milliseconds(200), [this] { return listerDone_; });
    }
    stopLister_ = true;
    if (listerThread.joinable()) listerThread.join();
    if (!rootRead_) return WalkResult::Ok;
    if (rootListing_.state == RootListing::State::Later) rootListing_ = lister(nullptr);
    if (confused_ || !rootAgrees()) return WalkResult::ConnectionLost;
    usable = true;
    return readOddFolders();
}
