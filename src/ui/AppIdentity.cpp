#include "ui/AppIdentity.h"

#include <wx/iconbndl.h>

#include "ui/resources/icon16.xpm"
#include "ui/resources/icon32.xpm"

#ifndef QUILLOMAR_HOMEPAGE_URL
#define QUILLOMAR_HOMEPAGE_URL ""
#endif

namespace app_identity {

// One name on every platform: the window says "Quillomar Ver2.0", and the
// Windows executable is Quillomar.exe.
wxString name() { return "Quillomar"; }

wxIcon icon(int size) { return wxIcon(size <= 16 ? icon16 : icon32); }

wxIconBundle icons() {
    wxIconBundle bundle;
    bundle.AddIcon(icon(16));
    bundle.AddIcon(icon(32));
    return bundle;
}

wxString homepageUrl() { return wxString::FromUTF8(QUILLOMAR_HOMEPAGE_URL); }

}  // namespace app_identity
