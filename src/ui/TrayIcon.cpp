#include "ui/TrayIcon.h"

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>
#include <wx/toplevel.h>

#include "ui/AppIdentity.h"
#include "util/TextCodec.h"

TrayIcon::TrayIcon(wxTopLevelWindow* window) : window_(window) {
    Bind(wxEVT_TASKBAR_LEFT_UP, &TrayIcon::onClick, this);
    Bind(wxEVT_TASKBAR_RIGHT_UP, &TrayIcon::onClick, this);
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
    window_->Show();
    window_->Iconize(false);
    window_->Raise();
}

void TrayIcon::onClick(wxTaskBarIconEvent&) {
    if (parked_) restore();
}
