#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "util/Failure.h"

class RemoteSession;

// Putting a generation's files on the site, and whether they may go.
namespace upload {

// An upload that would put an empty sitemap on the site, or one with less
// than half of the last completed run's pages, is held back: a mistake in
// the settings must not replace the site's good file. Shrunk: the user is
// asked (the dialog), or it goes only when allowShrink (the CLI's
// --allow-shrink) says so.
enum class Verdict { Go, NoPages, Shrunk };
Verdict judge(long pages, std::optional<long> lastCompletedPages, bool allowShrink);

// Puts the files, each under its own name, into the folder the session
// stands in: compressed ones byte for byte, the others as text; in their
// order (the index, written last, goes last). Stops between files when
// stopped() says so. No failure when all went up.
Failure put(RemoteSession& session, const std::vector<std::string>& files, const std::function<bool()>& stopped);

}  // namespace upload
