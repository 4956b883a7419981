#include "walk/WalkRules.h"

namespace walk_rules {

bool isPage(const std::string& name) {
    return name.find(".htm") != std::string::npos || name.find(".php") != std::string::npos ||
           name.find(".cgi") != std::string::npos;
}

bool mayBeFolder(const NameEntry& entry) {
    return entry.name.find('.') == std::string::npos && entry.kind != EntryKind::File &&
           entry.kind != EntryKind::Other;
}

std::string listingSignature(const NameList& names) {
    std::string signature;
    for (const auto& entry : names) {
        if (entry.name == "." || entry.name == "..") continue;
        // Facts with their spacing collapsed: columns are padded to the
        // widest entry, which differs between listings of one folder.
        bool space = false;
        for (char c : entry.facts) {
            if (c == ' ') {
                space = true;
                continue;
            }
            if (space) signature += ' ';
            space = false;
            signature += c;
        }
        signature += '\t';
        signature += entry.name;
        signature += '\n';
    }
    return signature;
}

bool AncestorGuard::isAncestor(const FolderIdentity& folder, const std::vector<const FolderIdentity*>& ancestors) {
    for (const FolderIdentity* up : ancestors) {
        if (!folder.path.empty() && folder.path == up->path) return true;
        if (trustIds_ && !folder.id.empty() && folder.id == up->id) {
            if (folder.listing == up->listing) return true;
            trustIds_ = false;  // one identity for two different folders
        }
    }
    for (const FolderIdentity* up : ancestors) {
        bool bothIdentified = trustIds_ && !folder.id.empty() && !up->id.empty();
        if (!bothIdentified && !folder.listing.empty() && folder.listing == up->listing) return true;
    }
    return false;
}

std::vector<std::string> walkedNames(const NameList& names) {
    std::vector<std::string> result;
    for (const auto& e : names)
        if (e.name != "." && e.name != "..") result.push_back(e.name);
    return result;
}

}  // namespace walk_rules
