#include "ui/AppIdentity.h"

#include <wx/filename.h>
#include <wx/iconbndl.h>
#include <wx/stdpaths.h>

#include "ui/resources/icon16.xpm"
#include "ui/resources/icon32.xpm"

#ifndef QUILLOMAR_HOMEPAGE_URL
#define QUILLOMAR_HOMEPAGE_URL "https://quillomar.example/"
#endif

namespace app_identity {

wxString name() { return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetName(); }

wxIcon icon(int size) { return wxIcon(size <= 16 ? icon16 : icon32); }

wxIconBundle icons() {
    wxIconBundle bundle;
    bundle.AddIcon(icon(16));
    bundle.AddIcon(icon(32));
    return bundle;
}

wxString homepageUrl() { return wxString::FromUTF8(QUILLOMAR_HOMEPAGE_URL); }

}  // namespace app_identity
