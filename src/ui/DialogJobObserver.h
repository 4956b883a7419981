#pragma once

#include <memory>
#include <mutex>

#include "job/JobObserver.h"

class MainDialog;

// Carries a job's reports from the worker thread to the dialog on the UI
// thread. Texts and enabled states are queued (CallAfter); a message is
// shown by the UI thread while the worker waits for it to be answered.
// Once the dialog is gone (detach), reports are dropped and messages do
// not wait.
class DialogJobObserver : public JobObserver, public std::enable_shared_from_this<DialogJobObserver> {
public:
    explicit DialogJobObserver(MainDialog* dialog) : dialog_(dialog) {}

    void setStatus(const std::string& text) override;
    void setProgress(const std::string& text) override;
    void showMessage(const std::string& text) override;
    // No, once the dialog is gone.
    bool askYesNo(const std::string& question) override;
    void setControlsEnabled(bool enabled) override;
    void setUnreadableFolders(const std::vector<std::string>& paths) override;
    void setCheckReport(const std::string& file) override;

    // Called by the dialog, on the UI thread, as it goes away.
    void detach();

private:
    template <typename Action>
    void post(Action action);
    template <typename Answer, typename Question>
    Answer waitFor(Question question, Answer fallback);

    std::mutex mutex_;
    MainDialog* dialog_;  // read and cleared on the UI thread only
    bool detached_ = false;
};
