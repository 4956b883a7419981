#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "remote/NameList.h"
#include "walk/WalkResult.h"
#include "walk/WalkRules.h"

class RemoteSession;
class SiteRules;
class SitemapWriter;

struct WalkOptions {
    const SiteRules* rules = nullptr;  // which names become entries, and how they read
    SitemapWriter* out = nullptr;      // where the entries go
    int maxDepth = walk_rules::kMaxDepth;
    long maxFolders = walk_rules::kMaxFolders;
    long maxPages = walk_rules::kMaxPages;
    // The walk stops at the next folder once this time has passed.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();

    bool pastDeadline() const { return std::chrono::steady_clock::now() > deadline; }
    // Set from another thread: the walk ends at the next folder.
    const std::atomic<bool>* stop = nullptr;
    bool stopped() const { return stop && stop->load(); }
};

// Turns the remote tree below the session's current folder into url
// entries of the sitemap files, folder by folder on one connection. Each
// folder's block is appended after the blocks of all its sub-folders
// (post-order); entries keep listing order.
//
// A name that cannot be entered is skipped (files are tried as folders when
// the listing does not tell). A folder that cannot be entered although the
// listing calls it one, or whose listing was refused or unreadable, or that
// lies too deep, is counted in stats(). A folder the rules exclude is not
// entered.
// A folder that is one of its own ancestors is not walked again.
class DirectoryWalk {
public:
    using Progress = std::function<void(const std::string& folderAddress)>;

    DirectoryWalk(RemoteSession& session, WalkOptions options, Progress progress);

    // names: the listing of the folder the session stands in.
    WalkResult run(const NameList& names);

    // Walks the folder at path (absolute), which lies below the walk's root
    // by the names in folders, below the given ancestors (root first).
    WalkResult runFrom(const std::string& path, const std::vector<std::string>& folders,
                       const std::vector<walk_rules::FolderIdentity>& ancestors);

    const WalkStats& stats() const { return stats_; }

private:
    WalkResult walkFolder(const NameList& names, const std::string& path);
    WalkResult enter(const NameEntry& entry, const std::string& parentPath);
    WalkResult readHere(const std::string& name);

    RemoteSession& session_;
    WalkOptions options_;
    Progress progress_;
    std::vector<std::string> folders_;  // names from the root to the current folder
    std::vector<walk_rules::FolderIdentity> ancestors_;
    walk_rules::AncestorGuard guard_;
    WalkStats stats_;
    long pagesSeen_ = 0;  // against the budget, written or not
};
