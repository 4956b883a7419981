#include <gtest/gtest.h>

#include <wx/artprov.h>

#include <filesystem>
#include <fstream>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filename.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "GuiHelpers.h"
#include "TempTree.h"
#include "TestServer.h"
#include "settings/SettingsFile.h"
#include "ui/AppIdentity.h"
#include "ui/ControlIds.h"
#include "ui/MainDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/TrayIcon.h"

namespace {

namespace id = control_id;

// One dialog over a settings file in its own working folder, as the
// program shows it at start.
class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousFolder = std::filesystem::current_path();
        std::filesystem::current_path(work.path());
    }

    void TearDown() override {
        if (dialog) dialog->closeWindow();
        pumpFor(100);
        std::filesystem::current_path(previousFolder);
    }

    MainDialog& open(bool pageOpens = true) {
        SettingsFile file;
        file.setPath(SettingsFile::pathIn(work.str()));
        dialog = new MainDialog(file, [this, pageOpens](const wxString& url) {
            openedPages.push_back(url.utf8_string());
            return pageOpens;
        });
        dialog->Show();
        EXPECT_TRUE(pumpUntil([this] { return dialog->IsShownOnScreen() && dialog->IsActive(); }));
        pumpFor(100);
        return *dialog;
    }

    wxTextCtrl* edit(int which) { return static_cast<wxTextCtrl*>(dialog->FindWindow(which)); }
    wxCheckBox* check(int which) { return static_cast<wxCheckBox*>(dialog->FindWindow(which)); }
    std::string label(int which) { return dialog->FindWindow(which)->GetLabel().utf8_string(); }

    void fill(const TestServer& server, const std::string& folder = "/www") {
        edit(id::kHost)->ChangeValue(server.host());
        edit(id::kAccount)->ChangeValue(server.user());
        edit(id::kPassword)->ChangeValue(server.password());
        edit(id::kTargetFolder)->ChangeValue(folder);
        edit(id::kBaseUrl)->ChangeValue("http://example.com/");
    }

    std::vector<bool> enabledStates() {
        std::vector<bool> states;
        for (int which : id::kInputs) states.push_back(dialog->FindWindow(which)->IsEnabled());
        return states;
    }

    void pressKey(int key, wxWindow* in) {
        in->SetFocus();
        pumpUntil([in] { return wxWindow::FindFocus() == in; }, 2000);
        wxUIActionSimulator().Char(key);
    }

    TempTree work;
    std::filesystem::path previousFolder;
    MainDialog* dialog = nullptr;
    std::vector<std::string> openedPages;
    MessageBoxRecorder boxes;
};

const std::vector<bool> kAllEnabled(8, true), kAllDisabled(8, false);
// During a run: only 実行, now 中止, can be pressed.
const std::vector<bool> kRunning{false, false, false, false, false, true, false, false};

TEST_F(MainDialogTest, OpensWithTheSavedSettingsAndTheProjectPage) {
    work.file("SETTING.INI", "[INI_SETTING]\nhost=ftp.example.jp\nid=user\npswd=pass\ndir=/www\n"
                             "http=http://example.jp\nchk1=2\nchk2=0\n");
    open(/*pageOpens=*/false);  // a page that cannot be opened does not stop the program
    EXPECT_EQ(dialog->GetTitle(), "Quillomar Ver2.0");
    EXPECT_EQ(edit(id::kHost)->GetValue(), "ftp.example.jp");
    EXPECT_EQ(edit(id::kPassword)->GetValue(), "pass");
    EXPECT_FALSE(edit(id::kPassword)->HasFlag(wxTE_PASSWORD)) << "the password shows in clear";
    EXPECT_EQ(edit(id::kBaseUrl)->GetValue(), "http://example.jp");
    EXPECT_TRUE(check(id::kMobile)->GetValue()) << "a stored 2 shows ticked";
    EXPECT_FALSE(check(id::kUpload)->GetValue());
    EXPECT_EQ(label(id::kStatusLine), "");
    // A build that names no page opens none; one that does opens it once.
    if (app_identity::homepageUrl().empty()) {
        EXPECT_TRUE(openedPages.empty());
    } else {
        EXPECT_EQ(openedPages, std::vector<std::string>{app_identity::homepageUrl().utf8_string()});
    }
    EXPECT_EQ(wxWindow::FindFocus(), edit(id::kHost));
    EXPECT_EQ(enabledStates(), kAllEnabled);
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_FALSE(dialog->HasFlag(wxRESIZE_BORDER));
    EXPECT_FALSE(dialog->HasFlag(wxMAXIMIZE_BOX));
}

TEST_F(MainDialogTest, EnterWithEmptyFieldsShowsOnlyTheHostMessageAndSavesFirst) {
    open();
    pressKey(WXK_RETURN, edit(id::kHost));
    ASSERT_TRUE(pumpUntil([&] { return !boxes.boxes.empty(); }));
    pumpFor(100);
    ASSERT_EQ(boxes.messages(), std::vector<std::string>{"ホストを入力してください"});
    EXPECT_EQ(boxes.boxes[0].caption, "Quillomar");
    // The theme has the exclamation icon the box draws.
    EXPECT_TRUE(wxArtProvider::GetBitmap(wxART_WARNING, wxART_MESSAGE_BOX).IsOk());
    EXPECT_TRUE(boxes.boxes[0].style & wxICON_EXCLAMATION);
    EXPECT_TRUE(boxes.boxes[0].style & wxOK);
    EXPECT_EQ(readFile(work.path() / "SETTING.INI"),
              "[INI_SETTING]\nhost=\nid=\npswd=\ndir=\nhttp=\nchk1=0\nchk2=0\n");
    EXPECT_EQ(enabledStates(), kAllEnabled);
    EXPECT_EQ(label(id::kStatusLine), "");
    EXPECT_EQ(label(id::kProgressLine), "");
}

TEST_F(MainDialogTest, EnterInAnyFieldRunsTheCheck) {
    open();
    edit(id::kHost)->ChangeValue("h");
    edit(id::kAccount)->ChangeValue("a");
    edit(id::kPassword)->ChangeValue("p");
    const int fields[] = {id::kHost, id::kAccount, id::kPassword, id::kTargetFolder, id::kBaseUrl};
    for (int field : fields) {
        boxes.boxes.clear();
        pressKey(WXK_RETURN, edit(field));
        EXPECT_TRUE(pumpUntil([&] { return !boxes.boxes.empty(); })) << field;
        EXPECT_EQ(boxes.messages(), std::vector<std::string>{"httpパスを入力してください"}) << field;
    }
    EXPECT_NE(readFile(work.path() / "SETTING.INI").find("pswd=p\n"), std::string::npos);
}

TEST_F(MainDialogTest, EscLeavesTheDialogOpen) {
    open();
    pressKey(WXK_ESCAPE, edit(id::kAccount));
    pumpFor(300);
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainDialogTest, F1ReportsThatHelpCannotStart) {
    open();
    pressKey(WXK_F1, edit(id::kHost));
    ASSERT_TRUE(pumpUntil([&] { return !boxes.boxes.empty(); }));
    EXPECT_EQ(boxes.messages(), std::vector<std::string>{"ﾍﾙﾌﾟの起動に失敗しました。"});
}

TEST_F(MainDialogTest, JobRunsWithControlsDisabledAndReportsItsPhases) {
    TempTree site;
    site.file("www/index.html");
    site.file("www/a/b.html");
    TestServer::Options slow;
    slow.replyDelayMs = 150;
    TestServer server(site.str(), slow);
    open();
    fill(server);
    check(id::kMobile)->SetValue(true);
    static_cast<wxButton*>(dialog->FindWindow(id::kExecute))->SetFocus();
    wxCommandEvent click(wxEVT_BUTTON, id::kExecute);
    dialog->GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(enabledStates(), kRunning);
    EXPECT_EQ(label(id::kExecute), "中止");

    std::vector<std::string> statuses, progress;
    bool disabledThroughout = true;
    ASSERT_TRUE(pumpUntil(
        [&] {
            std::string status = label(id::kStatusLine), folder = label(id::kProgressLine);
            if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
            if (!folder.empty() && (progress.empty() || progress.back() != folder)) progress.push_back(folder);
            bool done = status.rfind("更新完了 (", 0) == 0;
            if (!done && enabledStates() != kRunning) disabledThroughout = false;
            return done;
        },
        30000));
    EXPECT_TRUE(disabledThroughout);
    EXPECT_EQ(enabledStates(), kAllEnabled);
    EXPECT_EQ(label(id::kExecute), "実行");
    EXPECT_FALSE(dialog->jobRunning());
    std::vector<std::string> phases(statuses.begin(), statuses.end() - 1);
    phases.erase(std::remove(phases.begin(), phases.end(), ""), phases.end());
    EXPECT_EQ(phases, (std::vector<std::string>{"FTP ファイル検索中…", "FTP リスト生成中…"}));
    EXPECT_EQ(progress, (std::vector<std::string>{"http://example.com", "http://example.com/a"}));
    EXPECT_EQ(label(id::kProgressLine), "");
    EXPECT_NE(readFile(work.path() / "sitemap.xml").find("<mobile:mobile/>"), std::string::npos);
    EXPECT_NE(readFile(work.path() / "SETTING.INI").find("chk1=1\n"), std::string::npos);
    EXPECT_TRUE(boxes.boxes.empty());
}

// Drives the options dialog once it is shown, from inside its modal loop.
class OptionsDriver : public wxModalDialogHook {
public:
    OptionsDriver() { Register(); }
    ~OptionsDriver() override { Unregister(); }
    std::function<void(wxDialog&)> drive;

protected:
    int Enter(wxDialog* dialog) override {
        if (dynamic_cast<OptionsDialog*>(dialog) && drive) dialog->CallAfter([this, dialog] { drive(*dialog); });
        return wxID_NONE;  // shown as ever
    }
    void Exit(wxDialog*) override {}
};

// A real pointer click in the middle of the control.
void clickOn(wxWindow* control) {
    const wxRect rect = control->GetScreenRect();
    wxUIActionSimulator simulator;
    simulator.MouseMove(rect.GetLeft() + rect.GetWidth() / 2, rect.GetTop() + rect.GetHeight() / 2);
    simulator.MouseClick();
}

// 中止, clicked during the walk, ends the run within 2 s: nothing written,
// nothing uploaded, the status line says so, and 実行 is back.
TEST_F(MainDialogTest, StopButtonEndsTheRunAtOnce) {
    TempTree site;
    for (int i = 0; i < 40; ++i) site.file("www/d" + std::to_string(i) + "/p.html");
    TestServer::Options slow;
    slow.replyDelayMs = 200;
    TestServer server(site.str(), slow);
    open();
    fill(server);
    check(id::kUpload)->SetValue(true);
    dialog->execute();
    ASSERT_TRUE(pumpUntil([&] { return label(id::kProgressLine).find("/d") != std::string::npos; }, 30000));
    clickOn(dialog->FindWindow(id::kExecute));
    const auto clicked = std::chrono::steady_clock::now();
    // The dialog told, and the thread over (the run log written too).
    ASSERT_TRUE(pumpUntil([&] { return !dialog->jobRunning() && !MainDialog::anyJobRunning(); }, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, std::chrono::seconds(2));
    EXPECT_EQ(label(id::kStatusLine), "中止しました");
    EXPECT_EQ(label(id::kExecute), "実行");
    EXPECT_EQ(enabledStates(), kAllEnabled);
    EXPECT_TRUE(boxes.boxes.empty()) << "a stop asks nothing and reports no failure";
    EXPECT_EQ(namesIn(work), (std::vector<std::string>{"SETTING.INI", "quillomar.log"})) << "no partial file";
    EXPECT_EQ(readFile(site.path() / "www/sitemap.xml"), "<missing>");
}

TEST_F(MainDialogTest, OptionsDialogKeepsWhatEnterConfirmsAndNotWhatEscCancels) {
    open();
    wxWindow* button = dialog->FindWindow(id::kOptions);
    ASSERT_NE(button, nullptr);
    EXPECT_LT(button->GetRect().GetRight(), check(id::kMobile)->GetRect().GetLeft()) << "bottom left";
    EXPECT_GT(button->GetRect().GetTop(), edit(id::kBaseUrl)->GetRect().GetBottom()) << "bottom left";

    OptionsDriver driver;
    bool driven = false;
    auto box = [](wxDialog& d, int which) { return static_cast<wxCheckBox*>(d.FindWindow(which)); };
    driver.drive = [&](wxDialog& options) {
        EXPECT_TRUE(pumpUntil([&] { return options.IsShownOnScreen() && options.IsActive(); }));
        EXPECT_EQ(options.GetFont(), MainDialog::dialogFont());
        EXPECT_EQ(wxWindow::FindFocus(), options.FindWindow(id::kLastmod));
        for (int which : {id::kLastmod, id::kRobots}) {
            clickOn(box(options, which));
            EXPECT_TRUE(pumpUntil([&] { return box(options, which)->GetValue(); }, 5000)) << which;
        }
        auto* exclude = static_cast<wxTextCtrl*>(options.FindWindow(id::kExclude));
        clickOn(exclude);
        pumpUntil([&] { return wxWindow::FindFocus() == exclude; }, 2000);
        wxUIActionSimulator().Text("/cgi-bin/;/tmp");
        EXPECT_TRUE(pumpUntil([&] { return exclude->GetValue() == "/cgi-bin/;/tmp"; }, 5000)) << exclude->GetValue();
        wxUIActionSimulator().Char(WXK_RETURN);
        driven = true;
    };
    clickOn(button);
    ASSERT_TRUE(pumpUntil([&] { return driven && !dialog->FindWindow(id::kOptions)->HasCapture(); }));
    const std::string saved = "[SITEMAP_OPTIONS]\nlastmod=1\nrobots=1\nindex_as_folder=0\ngzip=0\nverify=0\n"
                              "exclude=/cgi-bin/;/tmp\nextensions=\n";
    ASSERT_TRUE(pumpUntil([&] { return readFile(work.path() / "SETTING.INI").find(saved) != std::string::npos; }, 5000))
        << readFile(work.path() / "SETTING.INI");

    // Opened again it shows what was kept; Esc throws away a change.
    driven = false;
    driver.drive = [&](wxDialog& options) {
        EXPECT_TRUE(pumpUntil([&] { return options.IsShownOnScreen() && options.IsActive(); }));
        EXPECT_TRUE(box(options, id::kLastmod)->GetValue());
        EXPECT_FALSE(box(options, id::kGzip)->GetValue());
        clickOn(box(options, id::kGzip));
        EXPECT_TRUE(pumpUntil([&] { return box(options, id::kGzip)->GetValue(); }, 5000));
        wxUIActionSimulator().Char(WXK_ESCAPE);
        driven = true;
    };
    const std::string before = readFile(work.path() / "SETTING.INI");
    clickOn(button);
    ASSERT_TRUE(pumpUntil([&] { return driven && dialog->IsActive(); }));
    pumpFor(300);
    EXPECT_EQ(readFile(work.path() / "SETTING.INI"), before);
    EXPECT_TRUE(boxes.boxes.empty());
}

// A run that checked its pages on the live site offers its report: a real
// click on 結果を開く opens the file in the browser; the next run hides it.
TEST_F(MainDialogTest, CheckedRunOffersItsReport) {
    TempTree site;
    site.file("www/index.html", "<html><head><title>t</title></head></html>");
    site.file("www/gone.html");
    TestServer ftp(site.str());
    TestServer::Options options;
    options.kind = TestServer::Kind::Nginx;
    options.webConfig = "location = /www/gone.html { return 410; }";
    TestServer web(site.str(), options);
    std::ofstream(work.path() / "SETTING.INI") << "[SITEMAP_OPTIONS]\nverify=1\n";
    open();
    fill(ftp);
    edit(id::kBaseUrl)->ChangeValue(web.webAddress() + "/www");
    wxWindow* link = dialog->FindWindow(id::kReportLink);
    ASSERT_NE(link, nullptr);
    EXPECT_FALSE(link->IsShown());
    wxCommandEvent click(wxEVT_BUTTON, id::kExecute);
    dialog->GetEventHandler()->ProcessEvent(click);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->jobRunning() && link->IsShown(); }, 30000)) << label(id::kStatusLine);
    EXPECT_EQ(label(id::kStatusLine).rfind("更新完了 (", 0), 0u);
    EXPECT_LE(dialog->FindWindow(id::kStatusLine)->GetRect().GetRight(), link->GetRect().GetLeft());
    clickOn(link);
    ASSERT_TRUE(pumpUntil([&] { return !openedPages.empty() && openedPages.back().ends_with("sitemap-check.html"); }, 5000));
    EXPECT_EQ(openedPages.back(), wxFileName::FileNameToURL(wxFileName((work.path() / "sitemap-check.html").string())).utf8_string());
    dialog->GetEventHandler()->ProcessEvent(click);
    EXPECT_FALSE(link->IsShown());
    ASSERT_TRUE(pumpUntil([&] { return !dialog->jobRunning(); }, 30000));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainDialogTest, FailedLoginShowsItsMessageWhileTheJobWaits) {
    TempTree site;
    site.folder("www");
    TestServer server(site.str());
    open();
    fill(server);
    edit(id::kPassword)->ChangeValue("wrong");
    bool jobWaited = false;
    boxes.whileShown = [&] {
        // The box is up: the job must be waiting for it, not finishing.
        wxMilliSleep(300);
        jobWaited = MainDialog::anyJobRunning();
    };
    dialog->execute();
    ASSERT_TRUE(pumpUntil([&] { return !dialog->jobRunning(); }, 30000));
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].rfind("FTPサーバへ接続できませんでした\nアカウントまたはパスワードが違います", 0), 0u);
    EXPECT_TRUE(jobWaited);
    EXPECT_EQ(label(id::kStatusLine), "");
    EXPECT_EQ(enabledStates(), kAllEnabled);
    EXPECT_EQ(readFile(work.path() / "sitemap.xml"), "<missing>");
}

TEST_F(MainDialogTest, NewSshHostKeyIsTrustedOnlyWhenTheUserSaysYes) {
    TempTree site;
    site.file("www/index.html");
    TestServer::Options options;
    options.kind = TestServer::Kind::Sftp;
    TestServer server(site.str(), options);
    open();
    const auto knownHosts = work.path() / "known_hosts";
    for (int answer : {wxID_NO, wxID_YES}) {
        boxes.boxes.clear();
        boxes.answer = answer;
        fill(server);
        dialog->execute();
        ASSERT_TRUE(pumpUntil([&] { return !dialog->jobRunning(); }, 30000));
        ASSERT_FALSE(boxes.boxes.empty());
        const auto& question = boxes.boxes[0];
        EXPECT_NE(question.message.find(server.fingerprint()), std::string::npos) << question.message;
        EXPECT_TRUE((question.style & wxYES_NO) && (question.style & wxNO_DEFAULT));
        EXPECT_EQ(question.yesLabel + "/" + question.noLabel, "はい/いいえ");
        if (answer == wxID_NO) {
            EXPECT_EQ(boxes.boxes.size(), 2u);
            EXPECT_EQ(boxes.boxes.back().message.rfind("FTPサーバへ接続できませんでした\n"
                                                       "SSHサーバのホスト鍵が信頼されていないため接続しませんでした。"
                                                       "鍵の指紋: " + server.fingerprint() + "\n", 0),
                      0u);
            EXPECT_FALSE(std::filesystem::exists(knownHosts));
        } else {
            EXPECT_EQ(boxes.boxes.size(), 1u);
            EXPECT_EQ(label(id::kStatusLine).rfind("更新完了", 0), 0u) << label(id::kStatusLine);
            EXPECT_NE(readFile(knownHosts).find(" ecdsa-sha2-nistp256 "), std::string::npos);
        }
    }
}

TEST_F(MainDialogTest, TextsWithAmpersandsShowAsTheyAre) {
    open();
    dialog->setProgressText("http://example.com/a&b");
    EXPECT_EQ(dialog->FindWindow(id::kProgressLine)->GetLabel(), "http://example.com/a&&b");
    EXPECT_EQ(static_cast<wxStaticText*>(dialog->FindWindow(id::kProgressLine))->GetLabelText(),
              "http://example.com/a&b");
}

TEST_F(MainDialogTest, MinimiseParksInTheNotificationAreaAndAClickBringsItBack) {
    // The runner says whether it started a notification area (trayer).
    const char* expected = std::getenv("QUILLOMAR_TEST_TRAY");
    ASSERT_NE(expected, nullptr) << "set QUILLOMAR_TEST_TRAY to 1 or 0";
    const bool trayExpected = std::string(expected) == "1";
    pumpUntil([] { return wxTaskBarIcon::IsAvailable(); }, trayExpected ? 20000 : 0);
    ASSERT_EQ(wxTaskBarIcon::IsAvailable(), trayExpected);
    open();
    if (!trayExpected) {
        // No notification area: the dialog stays an ordinary minimised window.
        dialog->Iconize(true);
        ASSERT_TRUE(pumpUntil([&] { return dialog->IsIconized(); }, 5000));
        pumpFor(200);
        EXPECT_TRUE(dialog->IsShown());
        EXPECT_FALSE(dialog->trayIcon().IsIconInstalled());
        return;
    }
    dialog->Iconize(true);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->IsShown(); }, 5000));
    EXPECT_TRUE(dialog->trayIcon().IsIconInstalled());
    EXPECT_EQ(TrayIcon::tip(), app_identity::name());

    // Real clicks through the X server at the docked icon: a left click, a
    // right click, a double click each bring the dialog back.
    for (const char* click : {"1 1", "3 1", "1 2"}) {
        if (!dialog->trayIcon().parked()) {
            dialog->Iconize(true);
            ASSERT_TRUE(pumpUntil([&] { return !dialog->IsShown(); }, 5000)) << click;
        }
        pumpFor(300);  // docked by the notification area
        std::string command = std::string(QUILLOMAR_TEST_SOURCE_DIR) + "/gui/click-tray-icon " + click;
        ASSERT_EQ(std::system(command.c_str()), 0) << click;
        ASSERT_TRUE(pumpUntil([&] { return dialog->IsShownOnScreen(); }, 5000)) << click;
        EXPECT_TRUE(pumpUntil([&] { return !dialog->trayIcon().IsIconInstalled(); }, 2000)) << click;
        pumpUntil([&] { return !dialog->IsIconized(); }, 2000);
        EXPECT_FALSE(dialog->IsIconized()) << click;
        pumpFor(300);
    }
}

}  // namespace
