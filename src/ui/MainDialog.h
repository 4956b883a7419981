#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <wx/dialog.h>

#include "settings/JobSettings.h"
#include "settings/SettingsFile.h"

class DialogJobObserver;
class TrayIcon;
class wxHyperlinkCtrl;
class wxHyperlinkEvent;
class wxStaticText;

// The program's one window: five fields and two check boxes for the
// settings, the "実行" button, and the status and progress lines on which
// the job reports; "詳細設定…" opens the sitemap options.
//
// All members run on the UI thread. The job reaches the dialog only
// through DialogJobObserver.
class MainDialog : public wxDialog {
public:
    // Opens a web page; false when it cannot be opened.
    using PageOpener = std::function<bool(const wxString& url)>;

    MainDialog(const SettingsFile& settingsFile, PageOpener openPage);
    ~MainDialog() override;

    void setControlsEnabled(bool enabled);
    void setStatusText(const std::string& text);
    void setProgressText(const std::string& text);
    // Shown as the progress line's tooltip: the folders the last run could not read.
    void setUnreadableFolders(const std::vector<std::string>& paths);
    // The check's report: the link 結果を開く beside the status line opens
    // it in the browser, until the next run starts.
    void setCheckReport(const std::string& file);
    // A modal box: OK button, exclamation icon, the program's name as caption.
    void showMessage(const std::string& text);
    // はい / いいえ, いいえ by default; true for はい.
    bool askYesNo(const std::string& question);

    bool jobRunning() const { return jobRunning_; }
    TrayIcon& trayIcon() { return *trayIcon_; }
    void jobEnded() { jobRunning_ = false; }

    // What the dialog does on "実行", on closing and on minimising.
    void execute();
    void closeWindow();
    void minimise();

    static wxFont dialogFont();
    static bool anyJobRunning() { return jobsRunning_ > 0; }

private:
    int showBox(const std::string& text, long style);
    void buildControls();
    void onInit();
    void onExecute(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);
    void onIconize(wxIconizeEvent& event);
    void onHelp(wxCommandEvent& event);
    void onOptions(wxCommandEvent& event);
    void onOpenReport(wxHyperlinkEvent& event);
    void showReportLink(bool shown);

    void copyControlsToSettings();
    void startJob();
    void stopAndJoin();

    static constexpr const char* kExecuteLabel = "実行";
    static constexpr const char* kStopLabel = "中止";
    static constexpr const char* kStopping = "中止しています…";

    SettingsFile settingsFile_;
    JobSettings settings_;
    PageOpener openPage_;
    std::shared_ptr<DialogJobObserver> observer_;
    std::unique_ptr<TrayIcon> trayIcon_;
    wxStaticText* statusLine_ = nullptr;
    wxStaticText* progressLine_ = nullptr;
    wxHyperlinkCtrl* reportLink_ = nullptr;
    int statusWidth_ = 0;     // the status line's width without the link beside it
    std::string reportFile_;  // the last run's check report
    bool jobRunning_ = false;
    std::thread worker_;                       // the job's thread, joined before the next or on closing
    std::shared_ptr<std::atomic<bool>> stop_;  // the running job's stop flag
    static std::atomic<int> jobsRunning_;
};
