#include "ui/DialogJobObserver.h"

#include <future>

#include <wx/app.h>

#include "ui/MainDialog.h"

template <typename Action>
void DialogJobObserver::post(Action action) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_ || !wxTheApp) return;
    }
    auto self = shared_from_this();
    wxTheApp->CallAfter([self, action] {
        if (self->dialog_) action(*self->dialog_);
    });
}

void DialogJobObserver::setStatus(const std::string& text) {
    post([text](MainDialog& dialog) { dialog.setStatusText(text); });
}

void DialogJobObserver::setProgress(const std::string& text) {
    post([text](MainDialog& dialog) { dialog.setProgressText(text); });
}

void DialogJobObserver::setUnreadableFolders(const std::vector<std::string>& paths) {
    post([paths](MainDialog& dialog) { dialog.setUnreadableFolders(paths); });
}

void DialogJobObserver::setCheckReport(const std::string& file) {
    post([file](MainDialog& dialog) { dialog.setCheckReport(file); });
}

void DialogJobObserver::setControlsEnabled(bool enabled) {
    post([enabled](MainDialog& dialog) {
        dialog.setControlsEnabled(enabled);
        if (enabled) dialog.jobEnded();
    });
}

// Runs the question on the UI thread and waits for its answer, but never
// beyond the dialog's life (then: the fallback).
template <typename Answer, typename Question>
Answer DialogJobObserver::waitFor(Question question, Answer fallback) {
    auto answered = std::make_shared<std::promise<Answer>>();
    auto done = answered->get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_ || !wxTheApp) return fallback;
    }
    auto self = shared_from_this();
    wxTheApp->CallAfter([self, question, answered, fallback] {
        answered->set_value(self->dialog_ ? question(*self->dialog_) : fallback);
    });
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_) return fallback;
    }
    return done.get();
}

void DialogJobObserver::showMessage(const std::string& text) {
    waitFor<bool>([text](MainDialog& dialog) { return dialog.showMessage(text), true; }, false);
}

bool DialogJobObserver::askYesNo(const std::string& question) {
    return waitFor<bool>([question](MainDialog& dialog) { return dialog.askYesNo(question); }, false);
}

void DialogJobObserver::detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    detached_ = true;
    dialog_ = nullptr;
}
