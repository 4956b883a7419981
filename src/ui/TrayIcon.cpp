#include "ui/TrayIcon.h"

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>
#include <wx/toplevel.h>

#include "ui/AppIdentity.h"
#include "util/TextCodec.h"

TrayIcon::TrayIcon(wxTopLevelWindow* window) : window_(window) {
#ifdef __WXMSW__
    // Windows reports the button's release.
    Bind(wxEVT_TASKBAR_LEFT_UP, &TrayIcon::onClick, this);
    Bind(wxEVT_TASKBAR_RIGHT_UP, &TrayIcon::onClick, this);
#else
    // GTK reports a click as a press (or a double click), never a release.
    Bind(wxEVT_TASKBAR_LEFT_DOWN, &TrayIcon::onClick, this);
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, &TrayIcon::onClick, this);
    Bind(wxEVT_TASKBAR_RIGHT_DOWN, &TrayIcon::onClick, this);
#endif
}

wxString TrayIcon::tip() {
    return wxString::FromUTF8(text_codec::cutUtf8(app_identity::name().ToStdString(wxConvUTF8), 63));
}

void TrayIcon::park() {
    if (parked_ || !wxTaskBarIcon::IsAvailable()) return;
    SetIcon(wxBitmapBundle::FromIconBundle(app_identity::icons()), tip());
    window_->Hide();
    parked_ = true;
}

void TrayIcon::restore() {
    RemoveIcon();
    parked_ = false;
    // Out of the minimised state first: shown while still minimised, the
    // window would be minimised (and parked) again at once.
    window_->Iconize(false);
    window_->Show();
    window_->Raise();
}

void TrayIcon::onClick(wxTaskBarIconEvent&) {
    if (parked_) restore();
}
