#pragma once

#include <wx/dialog.h>

#include "settings/SitemapOptions.h"

// The sitemap options, in a small modal dialog opened from the main one:
// four check boxes and two lists. Enter is OK, Esc cancels.
class OptionsDialog : public wxDialog {
public:
    OptionsDialog(wxWindow* parent, const SitemapOptions& options);

    // What the controls hold now.
    SitemapOptions options() const;
};
