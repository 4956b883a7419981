#pragma once

#include <string>
#include <vector>

// How a walk ended, and what it counted on the way.
enum class WalkResult {
    Ok,
    WriteFailed,     // the file could not be written
    ConnectionLost,  // the server went away or stopped answering
    TooLarge,        // the generation's budget of folders or pages ran out
    TimeLimit,       // the generation's time ran out
    Stopped,         // the user stopped the generation
};

struct WalkStats {
    int connections = 0;        // logins that walked at once; 0 folder by folder
    long folders = 0;           // folders asked for
    long pages = 0;             // entries written
    long foldersListed = 0;     // folders whose pages were looked at (not empty, not excluded)
    long excludedByRobots = 0;  // pages the site's robots.txt forbids
    long excludedByPattern = 0; // pages and folders an exclusion pattern matched
    int roundTrips = 0;         // batches of commands sent and answered (fast walk)
    int unreadableFolders = 0;  // entered, but their listing was refused or unreadable
    int tooDeepFolders = 0;     // not entered: nested deeper than the walk goes
    int fallbackFolders = 0;    // read folder by folder where the fast walk could not
    // The first kMaxNamed unreadable folders, as paths below the target
    // folder ("/a/b"), so that the user can be told which.
    std::vector<std::string> unreadableNames;
    static constexpr size_t kMaxNamed = 100;

    // Counts an unreadable folder: the names from the target folder down.
    void unreadable(const std::vector<std::string>& names) {
        ++unreadableFolders;
        if (unreadableNames.size() >= kMaxNamed) return;
        std::string path;
        for (const auto& name : names) path += "/" + name;
        unreadableNames.push_back(path.empty() ? "/" : path);
    }

    // Folders whose pages may be missing from the file.
    int missedFolders() const { return unreadableFolders + tooDeepFolders; }

    // Adds what a folder-by-folder walk counted.
    void addFolderWalk(const WalkStats& other) {
        folders += other.folders;
        pages += other.pages;
        foldersListed += other.foldersListed;
        excludedByRobots += other.excludedByRobots;
        excludedByPattern += other.excludedByPattern;
        unreadableFolders += other.unreadableFolders;
        for (const auto& name : other.unreadableNames)
            if (unreadableNames.size() < kMaxNamed) unreadableNames.push_back(name);
        tooDeepFolders += other.tooDeepFolders;
    }
};
