#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

// Lets the UI run (window system events, CallAfter) until done() holds or
// the time is up. Returns done().
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return true;
}

inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

// Answers every modal message box with OK instead of showing it, and
// records it. whileShown runs on the UI thread as a box "is shown".
class MessageBoxRecorder : public wxModalDialogHook {
public:
    struct Box {
        std::string caption;
        std::string message;
        long style;
        std::string yesLabel, noLabel;
    };

    MessageBoxRecorder() { Register(); }
    ~MessageBoxRecorder() override { Unregister(); }

    std::vector<Box> boxes;
    std::function<void()> whileShown;
    int answer = wxID_OK;  // what a box with more than OK returns

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& b : boxes) texts.push_back(b.message);
        return texts;
    }

protected:
    int Enter(wxDialog* dialog) override {
        auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
        if (!box) return wxID_NONE;
        const long style = box->GetMessageDialogStyle();
        boxes.push_back({box->GetCaption().utf8_string(), box->GetMessage().utf8_string(), style,
                         box->GetYesLabel().utf8_string(), box->GetNoLabel().utf8_string()});
        if (whileShown) whileShown();
        return style & wxYES_NO ? answer : wxID_OK;
    }
    void Exit(wxDialog*) override {}
};
