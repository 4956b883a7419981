#include "app/QuillomarApp.h"

#include <cstdlib>
#include <filesystem>

#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#ifdef _WIN32
#include <winsock2.h>
#endif

#include "remote/Network.h"
#include "settings/SettingsFile.h"
#include "ui/AppIdentity.h"
#include "util/Utf8Path.h"
#include "ui/MainDialog.h"

wxIMPLEMENT_APP_NO_MAIN(QuillomarApp);

namespace {

// The socket layer in version 1.1 exactly (on Windows), and the FTP client.
bool startNetwork() {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return false;
    }
#endif
    return initNetwork();
}

// Makes the per-user folder (readable by its owner only: the settings hold
// the password) and starts there. False, with a message, when it cannot.
bool enterUserFolder() {
    const std::string folder = SettingsFile::userFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    std::error_code ec;
    if (!folder.empty()) {
        std::filesystem::create_directories(utf8Path(folder), ec);
        if (!ec) std::filesystem::permissions(utf8Path(folder), std::filesystem::perms::owner_all, ec);
        if (!ec) std::filesystem::current_path(utf8Path(folder), ec);
    }
    if (folder.empty() || ec) {
        wxMessageBox(wxString::FromUTF8(std::string(QuillomarApp::kNoUserFolder) + folder), app_identity::name(),
                     wxOK | wxICON_EXCLAMATION);
        return false;
    }
    return true;
}

}  // namespace

bool QuillomarApp::OnInit() {
    if (!startNetwork()) {
        wxMessageBox(wxString::FromUTF8(kNetworkFailed), app_identity::name(), wxOK | wxICON_EXCLAMATION);
        stoppedAtStart_ = true;
        return false;
    }
    // From a desktop menu: the settings and sitemap.xml live in a folder of
    // the user's own, made on first start; from a terminal, where it starts.
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == "--user-folder" && !enterUserFolder()) {
            stoppedAtStart_ = true;
            return false;
        }
    }
    SettingsFile settings;
    settings.setPath(SettingsFile::pathIn(currentFolderUtf8()));

    auto* dialog = new MainDialog(settings, [](const wxString& url) {
        wxLogNull quiet;  // a page that cannot be opened is no reason to stop or complain
        return wxLaunchDefaultBrowser(url);
    });
    SetTopWindow(dialog);
    dialog->Show();
    return true;
}

int QuillomarApp::OnExit() {
    // A job still running is not waited for: end the process here, before
    // static objects it may use are torn down.
    if (MainDialog::anyJobRunning()) std::_Exit(0);
    return wxApp::OnExit();
}
