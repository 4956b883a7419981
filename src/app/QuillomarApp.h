#pragma once

#include <wx/app.h>

// Start-up: the network layer, the settings path from the current
// directory, then the dialog as the top window. Closing the dialog ends the
// program with exit code 0, also while a job runs.
class QuillomarApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;

    // True when start-up stopped before the dialog, after its message: a
    // normal end (exit code 0), unlike a failure of the window system.
    static bool stoppedAtStart() { return stoppedAtStart_; }

    // The message shown when the network layer cannot be started.
    // Started with --user-folder (from the desktop menu): the folder for the
    // settings cannot be made or entered; its path follows.
    static constexpr const char* kNoUserFolder = "設定を保存するフォルダを作成できませんでした: ";
    static constexpr const char* kNetworkFailed = "Windows ｿｹｯﾄの初期化に失敗しました。";

private:
    static inline bool stoppedAtStart_ = false;
};

wxDECLARE_APP(QuillomarApp);
