#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ftp/NameList.h"

class FtpSession;

enum class WalkResult { Ok, WriteFailed, ConnectionLost };

struct WalkOptions {
    std::string baseUrl;  // one trailing "/" already dropped
    bool mobile = false;
    std::string fileName = "sitemap.xml";
    int maxDepth = 64;  // ends a branch where the server gives no folder identity
};

// Turns the remote tree below the session's current folder into url
// entries of the sitemap file. Each folder's block is appended after the
// blocks of all its sub-folders (post-order); entries keep listing order.
//
// A folder that cannot be entered or listed is skipped silently. A folder
// that is one of its own ancestors (same server identity or same physical
// path) is not entered again.
class DirectoryWalk {
public:
    using Progress = std::function<void(const std::string& folderAddress)>;

    DirectoryWalk(FtpSession& session, WalkOptions options, Progress progress);

    // names: the listing of the folder the session stands in.
    WalkResult run(const NameList& names);

    // A page: ".htm" (so also ".html"), ".php" or ".cgi" anywhere in the name.
    static bool isPage(const std::string& name);

private:
    WalkResult walkFolder(const NameList& names, const std::string& path);
    WalkResult enter(const NameEntry& entry, const std::string& parentPath);
    bool isAncestor(const std::string& id, const std::string& path) const;

    FtpSession& session_;
    WalkOptions options_;
    Progress progress_;
    std::vector<std::string> folders_;  // names from the root to the current folder
    std::vector<std::string> ancestorIds_;
    std::vector<std::string> ancestorPaths_;
};
