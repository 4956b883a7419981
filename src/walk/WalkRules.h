#pragma once

#include <string>
#include <vector>

#include "remote/NameList.h"

// The rules every walk follows, in one place: which names are pages, which
// are folders worth entering, and when a folder is one the walk already
// stands in (a linked folder leading back up).
namespace walk_rules {

// A page: ".htm" (so also ".html"), ".php" or ".cgi" anywhere in the name.
bool isPage(const std::string& name);

// A name without a dot that the listing does not call a plain file (or a
// device): it is tried as a folder.
bool mayBeFolder(const NameEntry& entry);

// Folders nested deeper than this are not entered (and counted): a guard for
// the walk's own stack, far beyond any real site.
inline constexpr int kMaxDepth = 512;

// How much one generation may read before it stops with a message: a tree
// that keeps growing (links the guard below cannot tell) must end.
inline constexpr long kMaxFolders = 250000;
inline constexpr long kMaxPages = 10000000;

// What a walk knows of a folder, to tell it from its ancestors.
struct FolderIdentity {
    std::string id;       // the server's identity (MLST unique); empty when none
    std::string path;     // the path the server reported; empty when unknown
    std::string listing;  // listingSignature of its listing
};

// The names a walk looks at: "." and ".." (listed by some servers in one
// listing and not in another) are skipped by every walk anyway.
std::vector<std::string> walkedNames(const NameList& names);

// The listing's names, kinds and facts (sizes, times), "." and ".." left out.
std::string listingSignature(const NameList& names);

// Tells whether a folder is one of its ancestors. Same reported path, or
// same server identity, or (where the server gives none) the same listing
// means the same folder. An identity shared by folders whose listings differ
// is no identity: from then on identities are not trusted.
class AncestorGuard {
public:
    bool isAncestor(const FolderIdentity& folder, const std::vector<const FolderIdentity*>& ancestors);

private:
    bool trustIds_ = true;
};

}  // namespace walk_rules
