#pragma once

#include <wx/string.h>

class wxIcon;
class wxIconBundle;

// Who the program is to the user: its name ("Quillomar", the caption of its
// message boxes), its icons, and the page opened at start.
namespace app_identity {

wxString name();
wxIconBundle icons();
wxIcon icon(int size);

// The project's web page, set at build time with QUILLOMAR_HOMEPAGE_URL;
// empty (nothing is opened) unless a build sets one.
wxString homepageUrl();

}  // namespace app_identity
