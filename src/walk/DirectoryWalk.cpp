#include "walk/DirectoryWalk.h"

#include "remote/RemoteSession.h"
#include "remote/ftp/ListingParser.h"
#include "sitemap/Location.h"
#include "sitemap/SiteRules.h"
#include "sitemap/SitemapWriter.h"

using walk_rules::FolderIdentity;

DirectoryWalk::DirectoryWalk(RemoteSession& session, WalkOptions options, Progress progress)
    : session_(session), options_(std::move(options)), progress_(std::move(progress)) {}

WalkResult DirectoryWalk::run(const NameList& names) {
    std::string rootPath;
    session_.currentDirectory(rootPath);
    if (!listing::isUsablePath(rootPath)) rootPath.clear();
    folders_.clear();
    ancestors_ = {FolderIdentity{session_.currentFolderId(), rootPath, walk_rules::listingSignature(names)}};
    return walkFolder(names, rootPath);
}

WalkResult DirectoryWalk::runFrom(const std::string& path, const std::vector<std::string>& folders,
                                  const std::vector<FolderIdentity>& ancestors) {
    if (folders.empty()) return WalkResult::Ok;
    folders_.assign(folders.begin(), folders.end() - 1);
    ancestors_ = ancestors;
    if (session_.changeDirectory(path) != 1) {
        if (session_.connectionLost()) return WalkResult::ConnectionLost;
        stats_.unreadable(folders);  // it could be entered before
        return WalkResult::Ok;
    }
    return readHere(folders.back());
}

WalkResult DirectoryWalk::walkFolder(const NameList& names, const std::string& path) {
    const SiteRules& rules = *options_.rules;
    if (progress_) progress_(location::folderDisplay(rules.baseUrl(), folders_));
    for (const auto& entry : names) {
        if (rules.isPage(entry.name)) {
            if (++pagesSeen_ > options_.maxPages) return WalkResult::TooLarge;
        } else if (walk_rules::mayBeFolder(entry)) {
            WalkResult result = enter(entry, path);
            if (result != WalkResult::Ok) return result;
        }
    }
    std::string block;
    rules.appendEntries(folders_, names, block, stats_);
    return options_.out->write(block) ? WalkResult::Ok : WalkResult::WriteFailed;
}

// Walks one sub-folder and comes back to parentPath. A name that cannot be
// entered is skipped; only a lost connection, a failed write or the budget
// ends the walk.
WalkResult DirectoryWalk::enter(const NameEntry& entry, const std::string& parentPath) {
    folders_.push_back(entry.name);
    const bool excluded = !options_.rules->entersFolder(folders_, stats_);
    folders_.pop_back();
    if (excluded) return WalkResult::Ok;
    if (static_cast<int>(folders_.size()) >= options_.maxDepth) {
        ++stats_.tooDeepFolders;
        return WalkResult::Ok;
    }
    if (session_.changeDirectory(entry.name) != 1) {
        if (session_.connectionLost()) return WalkResult::ConnectionLost;
        // A name the listing calls a folder that cannot be entered is a
        // folder missed; any other name may just be a file.
        if (entry.kind == EntryKind::Folder) {
            folders_.push_back(entry.name);
            stats_.unreadable(folders_);
            folders_.pop_back();
        }
        return WalkResult::Ok;
    }
    WalkResult result = readHere(entry.name);
    if (result != WalkResult::Ok) return result;
    // Back by the parent's own path: "../" from a linked folder would land in
    // the link target's parent on servers that resolve links.
    int back = parentPath.empty() ? session_.changeDirectory("../") : session_.changeDirectory(parentPath);
    if (back != 1 && session_.connectionLost()) return WalkResult::ConnectionLost;
    return WalkResult::Ok;
}

// Lists the folder the session has just entered and walks it, unless it is
// one of its ancestors.
WalkResult DirectoryWalk::readHere(const std::string& name) {
    if (++stats_.folders > options_.maxFolders) return WalkResult::TooLarge;
    if (options_.stopped()) return WalkResult::Stopped;
    if (options_.pastDeadline()) return WalkResult::TimeLimit;
    FolderIdentity here;
    session_.currentDirectory(here.path);
    if (!listing::isUsablePath(here.path)) here.path.clear();  // "C:\site" and the like: no way back by it
    here.id = session_.currentFolderId();
    NameList names;
    if (session_.listNames(names) <= 0) {
        if (session_.connectionLost()) return WalkResult::ConnectionLost;
        if (session_.lastListOutcome() != RemoteSession::ListOutcome::Empty) {
            folders_.push_back(name);
            stats_.unreadable(folders_);
            folders_.pop_back();
        }
        return WalkResult::Ok;
    }
    here.listing = walk_rules::listingSignature(names);
    std::vector<const FolderIdentity*> ancestors;
    for (const auto& a : ancestors_) ancestors.push_back(&a);
    if (guard_.isAncestor(here, ancestors)) return WalkResult::Ok;

    const std::string path = here.path;  // ancestors_ may move as it grows
    folders_.push_back(name);
    ancestors_.push_back(std::move(here));
    WalkResult result = walkFolder(names, path);
    folders_.pop_back();
    ancestors_.pop_back();
    return result;
}
