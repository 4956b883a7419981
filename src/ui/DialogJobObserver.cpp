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

void DialogJobObserver::setControlsEnabled(bool enabled) {
    post([enabled](MainDialog& dialog) {
        dialog.setControlsEnabled(enabled);
        if (enabled) dialog.jobEnded();
    });
}

void DialogJobObserver::showMessage(const std::string& text) {
    auto answered = std::make_shared<std::promise<void>>();
    auto done = answered->get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_ || !wxTheApp) return;
    }
    auto self = shared_from_this();
    wxTheApp->CallAfter([self, text, answered] {
        if (self->dialog_) self->dialog_->showMessage(text);
        answered->set_value();
    });
    // Wait for OK, but never beyond the dialog's life.
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_) return;
    }
}

void DialogJobObserver::detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    detached_ = true;
    dialog_ = nullptr;
}
