#include "ui/OptionsDialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "job/SitemapJob.h"
#include "ui/ControlIds.h"
#include "ui/MainDialog.h"

namespace {

struct Switch {
    int id;
    const char* label;
    bool SitemapOptions::*value;
};
constexpr Switch kSwitches[] = {
    {control_id::kLastmod, "更新日時 (lastmod) を書き出す", &SitemapOptions::lastmod},
    {control_id::kRobots, "robots.txt で禁止されたページを除く", &SitemapOptions::robots},
    {control_id::kIndexAsFolder, "index.html などをフォルダのアドレスで書き出す", &SitemapOptions::indexAsFolder},
    {control_id::kGzip, "gzip で圧縮する (sitemap-1.xml.gz)", &SitemapOptions::gzip},
    {control_id::kVerify, "公開サイトで確かめ、検索エンジンに載るページだけを書き出す (HTTP)", &SitemapOptions::verify},
};

struct ListField {
    int id;
    const char* label;
    std::vector<std::string> SitemapOptions::*value;
};
constexpr ListField kLists[] = {
    {control_id::kExclude, "除外するパス (; 区切り、例: /cgi-bin/*;*.bak)", &SitemapOptions::exclude},
    {control_id::kExtensions, "ページとする拡張子 (; 区切り、空欄なら .htm .php .cgi を含む名前)",
     &SitemapOptions::extensions},
};

wxString fromUtf8(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

}  // namespace

OptionsDialog::OptionsDialog(wxWindow* parent, const SitemapOptions& options)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8("詳細設定"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      initial_(options) {
    SetFont(MainDialog::dialogFont());
    auto* column = new wxBoxSizer(wxVERTICAL);
    const int gap = ConvertDialogToPixels(wxSize(4, 4)).x;
    // Creation order is the tab order.
    for (const auto& s : kSwitches) {
        auto* box = new wxCheckBox(this, s.id, wxString::FromUTF8(s.label));
        box->SetValue(options.*s.value);
        column->Add(box, 0, wxLEFT | wxRIGHT | wxTOP, gap);
    }
    for (const auto& l : kLists) {
        column->Add(new wxStaticText(this, wxID_ANY, wxString::FromUTF8(l.label)), 0, wxLEFT | wxRIGHT | wxTOP,
                    2 * gap);
        auto* edit = new wxTextCtrl(this, l.id, fromUtf8(SitemapOptions::joinList(options.*l.value)));
        column->Add(edit, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, gap);
    }
    auto* buttons = new wxStdDialogButtonSizer();
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();  // Enter in any field
    buttons->AddButton(ok);
    buttons->AddButton(new wxButton(this, wxID_CANCEL, wxString::FromUTF8("キャンセル")));  // and Esc
    buttons->Realize();
    column->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 2 * gap);
    SetSizerAndFit(column);
    CentreOnParent();
    FindWindow(kSwitches[0].id)->SetFocus();
}

SitemapOptions OptionsDialog::options() const {
    SitemapOptions options = initial_;
    for (const auto& s : kSwitches)
        if (auto* box = static_cast<wxCheckBox*>(FindWindow(s.id))) options.*s.value = box->GetValue();
    for (const auto& l : kLists) {
        const wxString text = static_cast<wxTextCtrl*>(FindWindow(l.id))->GetValue();
        options.*l.value = SitemapOptions::splitList(text.utf8_string());
    }
    return options;
}
