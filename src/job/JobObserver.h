#pragma once

#include <string>
#include <vector>

// How a running SitemapJob reports. Calls come from the job's threads (the
// worker, and while the walk runs, its connection threads), one at a time;
// an implementation marshals them to its own thread if it needs to.
class JobObserver {
public:
    virtual ~JobObserver() = default;

    // The phase or result line; empty text clears it.
    virtual void setStatus(const std::string& text) = 0;
    // The address of the folder being read; empty text clears it.
    virtual void setProgress(const std::string& text) = 0;
    // A message the user must see. Returns only once it has been answered:
    // the job waits meanwhile.
    virtual void showMessage(const std::string& text) = 0;
    // A yes-or-no question; true for yes. Returns only once it has been
    // answered. An observer that cannot ask (no one is there) says no.
    virtual bool askYesNo(const std::string& question) {
        (void)question;
        return false;
    }
    // At the end of a generation that could not read some folders: which
    // (paths below the target folder, the first hundred at most).
    virtual void setUnreadableFolders(const std::vector<std::string>& paths) { (void)paths; }
    // At the end of a run whose pages were checked on the live site: the
    // check's report (sitemap-check.html), to be offered for opening.
    virtual void setCheckReport(const std::string& file) { (void)file; }
    // The job gives the input controls back with true when it ends.
    virtual void setControlsEnabled(bool enabled) = 0;
};
