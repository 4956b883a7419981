#include "ui/MainDialog.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/filename.h>
#include <wx/fontenum.h>
#include <wx/hyperlink.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>  // after msgdlg.h, which it builds on
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "job/SitemapJob.h"
#include "ui/AppIdentity.h"
#include "ui/ControlIds.h"
#include "ui/DialogJobObserver.h"
#include "ui/OptionsDialog.h"
#include "ui/TrayIcon.h"

namespace {

constexpr const char* kHelpFailed = "ﾍﾙﾌﾟの起動に失敗しました。";

struct Place {
    int x, y, width, height;
};

// The five fields and the settings they hold, in tab order.
struct FieldBinding {
    int id;
    std::string JobSettings::*value;
};
constexpr FieldBinding kFields[] = {
    {control_id::kHost, &JobSettings::hostName},         {control_id::kAccount, &JobSettings::accountName},
    {control_id::kPassword, &JobSettings::password},     {control_id::kTargetFolder, &JobSettings::targetFolder},
    {control_id::kBaseUrl, &JobSettings::baseUrl},
};

wxString fromUtf8(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

std::string toUtf8(const wxString& text) {
    auto buffer = text.utf8_str();
    return std::string(buffer.data(), buffer.length());
}

}  // namespace

std::atomic<int> MainDialog::jobsRunning_{0};

wxFont MainDialog::dialogFont() {
    for (const char* face : {"ＭＳ Ｐゴシック", "Noto Sans CJK JP", "Yu Gothic UI", "Meiryo UI", "MS UI Gothic"}) {
        wxString name = wxString::FromUTF8(face);
        if (wxFontEnumerator::IsValidFacename(name))
            return wxFont(wxFontInfo(9).FaceName(name));
    }
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPointSize(9);
    return font;
}

MainDialog::MainDialog(const SettingsFile& settingsFile, PageOpener openPage)
    : wxDialog(nullptr, wxID_ANY, "Quillomar Ver2.0", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX),
      settingsFile_(settingsFile),
      openPage_(std::move(openPage)),
      observer_(std::make_shared<DialogJobObserver>(this)),
      trayIcon_(std::make_unique<TrayIcon>(this)) {
    SetFont(dialogFont());
    buildControls();
    SetIcons(app_identity::icons());
    Centre();
    SetEscapeId(wxID_NONE);  // Esc does nothing

    Bind(wxEVT_BUTTON, &MainDialog::onExecute, this, control_id::kExecute);
    Bind(wxEVT_BUTTON, &MainDialog::onOptions, this, control_id::kOptions);
    Bind(wxEVT_HYPERLINK, &MainDialog::onOpenReport, this, control_id::kReportLink);
    Bind(wxEVT_CLOSE_WINDOW, &MainDialog::onClose, this);
    Bind(wxEVT_ICONIZE, &MainDialog::onIconize, this);
    Bind(wxEVT_MENU, &MainDialog::onHelp, this, wxID_HELP);
    wxAcceleratorEntry help(wxACCEL_NORMAL, WXK_F1, wxID_HELP);
    SetAcceleratorTable(wxAcceleratorTable(1, &help));

    onInit();
}

MainDialog::~MainDialog() {
    stopAndJoin();
    observer_->detach();
    trayIcon_->RemoveIcon();
}

void MainDialog::buildControls() {
    std::vector<std::pair<wxWindow*, Place>> placed;
    auto edit = [&](int id, Place p) { placed.emplace_back(new wxTextCtrl(this, id, wxEmptyString), p); };
    auto label = [&](int id, const char* text, Place p, long ellipsize = wxST_ELLIPSIZE_END) {
        auto* control = new wxStaticText(this, id, wxString::FromUTF8(text), wxDefaultPosition, wxDefaultSize,
                                         wxST_NO_AUTORESIZE | ellipsize);
        placed.emplace_back(control, p);
        return control;
    };
    auto check = [&](int id, const char* text, Place p) {
        placed.emplace_back(new wxCheckBox(this, id, wxString::FromUTF8(text)), p);
    };

    // Creation order is the tab order.
    edit(control_id::kHost, {57, 7, 145, 12});
    edit(control_id::kAccount, {57, 25, 80, 12});
    edit(control_id::kPassword, {57, 43, 80, 12});  // shown in clear, as typed
    edit(control_id::kTargetFolder, {57, 61, 145, 12});
    edit(control_id::kBaseUrl, {57, 79, 145, 12});
    check(control_id::kMobile, "モバイルサイトマップ", {57, 99, 78, 10});
    check(control_id::kUpload, "自動アップロード", {141, 98, 65, 10});
    auto* execute = new wxButton(this, control_id::kExecute, wxString::FromUTF8("実行"));
    execute->SetDefault();
    placed.emplace_back(execute, Place{155, 126, 50, 14});
    // In the free space at the bottom left, below the labels.
    placed.emplace_back(new wxButton(this, control_id::kOptions, wxString::FromUTF8("詳細設定…")), Place{7, 95, 47, 14});
    label(wxID_ANY, "ホスト", {12, 9, 45, 8});
    label(wxID_ANY, "アカウント", {12, 27, 45, 8});
    label(wxID_ANY, "パスワード", {12, 45, 45, 8});
    label(wxID_ANY, "対象フォルダ", {12, 63, 45, 8});
    statusLine_ = label(control_id::kStatusLine, "", {11, 128, 141, 8});
    label(wxID_ANY, "httpパス", {12, 81, 45, 8});
    // Cut in the middle: the site's address stays at the start, and the end
    // of the folder path, the part that changes, stays in view.
    progressLine_ = label(control_id::kProgressLine, "", {11, 115, 190, 8}, wxST_ELLIPSIZE_MIDDLE);
    // At the status line's end, where the completion line leaves room;
    // shown once a run has checked its pages.
    reportLink_ = new wxHyperlinkCtrl(this, control_id::kReportLink, wxString::FromUTF8("結果を開く"), "about:blank",
                                      wxDefaultPosition, wxDefaultSize, wxHL_ALIGN_RIGHT | wxNO_BORDER);
    placed.emplace_back(reportLink_, Place{110, 127, 42, 9});

    // Dialog units from the font; widened where a text would not fit in
    // this font (a Japanese face may run wider than the one the layout was
    // drawn with), so that every text shows whole and proportions stay.
    const wxSize unit = ConvertDialogToPixels(wxSize(400, 800));
    double xScale = unit.x / 400.0, yScale = unit.y / 800.0;
    for (const auto& [control, p] : placed) {
        if (dynamic_cast<wxTextCtrl*>(control)) continue;
        xScale = std::max(xScale, control->GetBestSize().x / static_cast<double>(p.width));
    }
    auto px = [](int units, double scale) { return static_cast<int>(units * scale + 0.5); };
    for (const auto& [control, p] : placed)
        control->SetSize(px(p.x, xScale), px(p.y, yScale), px(p.width, xScale), px(p.height, yScale));
    SetClientSize(px(215, xScale), px(148, yScale));
    statusWidth_ = statusLine_->GetSize().GetWidth();
    reportLink_->Hide();
}

void MainDialog::showReportLink(bool shown) {
    reportLink_->Show(shown);
    const int width = shown ? reportLink_->GetPosition().x - statusLine_->GetPosition().x : statusWidth_;
    statusLine_->SetSize(width, -1);
}

void MainDialog::setCheckReport(const std::string& file) {
    reportFile_ = file;
    showReportLink(true);
}

// The report in the browser, as a file: address. One that cannot be opened
// is said, with where it is.
void MainDialog::onOpenReport(wxHyperlinkEvent&) {
    const wxFileName file(fromUtf8(reportFile_));
    wxFileName absolute = file;
    absolute.MakeAbsolute();
    if (!openPage_ || !openPage_(wxFileName::FileNameToURL(absolute)))
        showMessage("確認結果を開けませんでした。\n" + toUtf8(absolute.GetFullPath()));
}

void MainDialog::onInit() {
    settingsFile_.load(settings_);
    static_cast<wxCheckBox*>(FindWindow(control_id::kMobile))->SetValue(SettingsFile::flagTicked(settings_.mobileFlag));
    static_cast<wxCheckBox*>(FindWindow(control_id::kUpload))->SetValue(SettingsFile::flagTicked(settings_.uploadFlag));
    for (const auto& field : kFields)
        static_cast<wxTextCtrl*>(FindWindow(field.id))->ChangeValue(fromUtf8(settings_.*field.value));

    // The project's page, where the build names one. If it cannot be
    // opened the program goes on.
    if (openPage_ && !app_identity::homepageUrl().empty()) openPage_(app_identity::homepageUrl());
    FindWindow(control_id::kHost)->SetFocus();
}

void MainDialog::setControlsEnabled(bool enabled) {
    for (int id : control_id::kInputs) FindWindow(id)->Enable(enabled);
    FindWindow(control_id::kOptions)->Enable(enabled);
    if (enabled) FindWindow(control_id::kExecute)->SetLabel(wxString::FromUTF8(kExecuteLabel));
}

void MainDialog::setStatusText(const std::string& text) { statusLine_->SetLabelText(fromUtf8(text)); }

// An address is cut in the middle, so that the folder being read stays in
// view; counts and notes are cut at their end, never mid-word inside.
void MainDialog::setProgressText(const std::string& text) {
    wxString shown = fromUtf8(text);
    progressLine_->UnsetToolTip();
    if (text.rfind("http", 0) != 0) {
        wxClientDC dc(progressLine_);
        dc.SetFont(progressLine_->GetFont());
        const wxString cut = wxControl::Ellipsize(shown, dc, wxELLIPSIZE_END, progressLine_->GetClientSize().GetWidth());
        if (cut != shown) progressLine_->SetToolTip(shown);
        shown = cut;
    }
    progressLine_->SetLabelText(shown);
}

void MainDialog::setUnreadableFolders(const std::vector<std::string>& paths) {
    wxString list = wxString::FromUTF8("一覧を取得できなかったフォルダ:");
    for (const auto& path : paths) list += "\n" + fromUtf8(path);
    progressLine_->SetToolTip(list);
}

int MainDialog::showBox(const std::string& text, long style) {
#ifdef __WXMSW__
    wxMessageDialog box(this, fromUtf8(text), app_identity::name(), style);
#else
    // GTK's own message box shows no icon: this one draws the theme's.
    wxGenericMessageDialog box(this, fromUtf8(text), app_identity::name(), style);
#endif
    if (style & wxYES_NO) box.SetYesNoLabels(fromUtf8("はい"), fromUtf8("いいえ"));
    return box.ShowModal();
}

void MainDialog::showMessage(const std::string& text) { showBox(text, wxOK | wxICON_EXCLAMATION); }

bool MainDialog::askYesNo(const std::string& question) {
    return showBox(question, wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION) == wxID_YES;
}

void MainDialog::copyControlsToSettings() {
    for (const auto& field : kFields) {
        auto* edit = static_cast<wxTextCtrl*>(FindWindow(field.id));
        edit->Disable();
        settings_.*field.value = toUtf8(edit->GetValue());
    }
    FindWindow(control_id::kExecute)->Disable();
    auto* mobile = static_cast<wxCheckBox*>(FindWindow(control_id::kMobile));
    auto* upload = static_cast<wxCheckBox*>(FindWindow(control_id::kUpload));
    mobile->Disable();
    upload->Disable();
    FindWindow(control_id::kOptions)->Disable();
    settings_.mobileFlag = mobile->GetValue() ? "1" : "0";
    settings_.uploadFlag = upload->GetValue() ? "1" : "0";
}

void MainDialog::execute() {
    if (jobRunning_) {
        // The button reads 中止 while a job runs.
        if (stop_ && !stop_->exchange(true)) setStatusText(kStopping);
        return;
    }
    copyControlsToSettings();
    // The run goes on; the settings typed are used all the same.
    std::string why;
    if (!settingsFile_.save(settings_, &why)) showMessage(settingsFile_.notSavedMessage() + "\n" + why);
    else if (!settingsFile_.notice().empty()) showMessage(SettingsFile::kNowUtf8);
    std::string missing = missingValueMessage(settings_);
    if (!missing.empty()) {
        showMessage(missing);
        setControlsEnabled(true);
        setStatusText("");
        setProgressText("");
        return;
    }
    startJob();
}

void MainDialog::startJob() {
    jobRunning_ = true;
    setProgressText("");  // the last run's counts and folders are not this one's
    progressLine_->UnsetToolTip();
    showReportLink(false);
    ++jobsRunning_;
    // The job gets its own copy of the settings and reports through the
    // observer, which outlives this dialog if it has to.
    JobSettings settings = settings_;
    settingsFile_.prepareRun(settings);
    if (worker_.joinable()) worker_.join();  // the last job, long over
    stop_ = std::make_shared<std::atomic<bool>>(false);
    worker_ = std::thread([observer = observer_, settings = std::move(settings), stop = stop_] {
        SitemapJob job(settings, *observer);
        job.setStopFlag(stop);
        job.run();
        --jobsRunning_;
    });
    // 実行 becomes 中止 for as long as the job runs.
    auto* button = FindWindow(control_id::kExecute);
    button->SetLabel(wxString::FromUTF8(kStopLabel));
    button->Enable();
}

// A job still running is stopped and waited for (it ends within a moment);
// its reports are no longer shown and its questions are answered no.
void MainDialog::stopAndJoin() {
    if (!worker_.joinable()) return;
    if (stop_) stop_->store(true);
    observer_->detach();
    worker_.join();
}

void MainDialog::closeWindow() {
    trayIcon_->RemoveIcon();
    stopAndJoin();
    observer_->detach();
    Destroy();
}

void MainDialog::minimise() { trayIcon_->park(); }

void MainDialog::onExecute(wxCommandEvent&) { execute(); }

void MainDialog::onClose(wxCloseEvent&) { closeWindow(); }

void MainDialog::onIconize(wxIconizeEvent& event) {
    event.Skip();
    if (event.IsIconized()) minimise();
}

void MainDialog::onHelp(wxCommandEvent&) { showMessage(kHelpFailed); }

// The options are kept at once: they have no field in this dialog that 実行
// would save.
void MainDialog::onOptions(wxCommandEvent&) {
    if (jobRunning_) return;
    OptionsDialog options(this, settings_.sitemap);
    if (options.ShowModal() != wxID_OK) return;
    settings_.sitemap = options.options();
    std::string why;
    if (!settingsFile_.saveOptions(settings_.sitemap, &why)) showMessage(settingsFile_.notSavedMessage() + "\n" + why);
    else if (!settingsFile_.notice().empty()) showMessage(SettingsFile::kNowUtf8);
}
