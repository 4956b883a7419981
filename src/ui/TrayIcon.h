#pragma once

#include <wx/taskbar.h>

class wxTopLevelWindow;

// Puts the dialog out of sight: park() hides it behind an icon in the
// notification area; a left or right click on the icon brings it back (on
// the events each platform sends for a click).
// Where the desktop has no notification area, the dialog stays an ordinary
// minimised window, so it can always come back.
class TrayIcon : public wxTaskBarIcon {
public:
    explicit TrayIcon(wxTopLevelWindow* window);

    // Called when the window was minimised.
    void park();
    // Removes the icon and shows the window again.
    void restore();
    bool parked() const { return parked_; }

    // The tip: the program's name, at most 63 bytes.
    static wxString tip();

private:
    void onClick(wxTaskBarIconEvent& event);

    wxTopLevelWindow* window_;
    bool parked_ = false;
};
