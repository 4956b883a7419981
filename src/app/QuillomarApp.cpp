#include "app/QuillomarApp.h"

#include <cstdlib>
#include <filesystem>

#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#ifdef _WIN32
#include <winsock2.h>
#endif

#include "ftp/FtpSession.h"
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
    return FtpSession::initNetwork();
}

}  // namespace

bool QuillomarApp::OnInit() {
    if (!startNetwork()) {
        wxMessageBox(wxString::FromUTF8(kNetworkFailed), app_identity::name(), wxOK | wxICON_EXCLAMATION);
        stoppedAtStart_ = true;
        return false;
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
