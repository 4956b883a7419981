#pragma once

#include <wx/string.h>

class wxIcon;
class wxIconBundle;

// Who the program is to the user: its name (the executable's file name
// without extension), its icons, and the page opened at start.
namespace app_identity {

wxString name();
wxIconBundle icons();
wxIcon icon(int size);

// The project's web page; set at build time with QUILLOMAR_HOMEPAGE_URL.
wxString homepageUrl();

}  // namespace app_identity
