#include "sitemap/DirectoryWalk.h"

#include <algorithm>

#include "ftp/FtpSession.h"
#include "sitemap/Location.h"
#include "sitemap/SitemapFile.h"

DirectoryWalk::DirectoryWalk(FtpSession& session, WalkOptions options, Progress progress)
    : session_(session), options_(std::move(options)), progress_(std::move(progress)) {}

bool DirectoryWalk::isPage(const std::string& name) {
    return name.find(".htm") != std::string::npos || name.find(".php") != std::string::npos ||
           name.find(".cgi") != std::string::npos;
}

WalkResult DirectoryWalk::run(const NameList& names) {
    std::string rootPath;
    session_.currentDirectory(rootPath);
    folders_.clear();
    ancestorIds_ = {session_.currentFolderId()};
    ancestorPaths_ = {rootPath};
    return walkFolder(names, rootPath);
}

bool DirectoryWalk::isAncestor(const std::string& id, const std::string& path) const {
    auto contains = [](const std::vector<std::string>& list, const std::string& value) {
        return !value.empty() && std::find(list.begin(), list.end(), value) != list.end();
    };
    return contains(ancestorIds_, id) || contains(ancestorPaths_, path);
}

WalkResult DirectoryWalk::walkFolder(const NameList& names, const std::string& path) {
    if (progress_) progress_(location::folderDisplay(options_.baseUrl, folders_));
    std::string block;
    for (const auto& entry : names) {
        if (isPage(entry.name)) {
            auto url = location::pageUrl(options_.baseUrl, folders_, entry.name);
            block += SitemapFile::entry(location::xmlEscape(url), options_.mobile);
        } else if (entry.name.find('.') == std::string::npos && entry.kind != EntryKind::File) {
            WalkResult result = enter(entry, path);
            if (result != WalkResult::Ok) return result;
        }
    }
    return SitemapFile::appendToFile(options_.fileName, block) ? WalkResult::Ok : WalkResult::WriteFailed;
}

// Walks one sub-folder and comes back to parentPath. Failures to enter or
// list are silent; only a lost connection or a failed write ends the walk.
WalkResult DirectoryWalk::enter(const NameEntry& entry, const std::string& parentPath) {
    if (static_cast<int>(folders_.size()) >= options_.maxDepth) return WalkResult::Ok;
    if (isAncestor(entry.uniqueId, {})) return WalkResult::Ok;
    if (session_.changeDirectory(entry.name) != 1)
        return session_.connectionLost() ? WalkResult::ConnectionLost : WalkResult::Ok;

    std::string path;
    session_.currentDirectory(path);
    std::string id = session_.currentFolderId();
    WalkResult result = WalkResult::Ok;
    if (!isAncestor(id, path)) {
        NameList names;
        int count = session_.listNames(names);
        if (count <= 0 && session_.connectionLost()) return WalkResult::ConnectionLost;
        if (count > 0) {
            folders_.push_back(entry.name);
            ancestorIds_.push_back(id.empty() ? entry.uniqueId : id);
            ancestorPaths_.push_back(path);
            result = walkFolder(names, path);
            folders_.pop_back();
            ancestorIds_.pop_back();
            ancestorPaths_.pop_back();
            if (result != WalkResult::Ok) return result;
        }
    }
    // Back by the parent's own path: "../" from a linked folder would land in
    // the link target's parent on servers that resolve links.
    int back = parentPath.empty() ? session_.changeDirectory("../") : session_.changeDirectory(parentPath);
    if (back != 1 && session_.connectionLost()) return WalkResult::ConnectionLost;
    return result;
}
