#pragma once

#include <wx/dialog.h>

#include "settings/SitemapOptions.h"

// The sitemap options, in a small modal dialog opened from the main one:
// check boxes and two lists. Enter is OK, Esc cancels.
class OptionsDialog : public wxDialog {
public:
    OptionsDialog(wxWindow* parent, const SitemapOptions& options);

    // What the controls hold now (an option without a control here keeps
    // the value it came with).
    SitemapOptions options() const;

private:
    SitemapOptions initial_;
};
