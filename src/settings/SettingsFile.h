#pragma once

#include <string>

#include "settings/JobSettings.h"

// Keeps JobSettings between runs in SETTING.INI, section "INI_SETTING",
// keys host, id, pswd, dir, http, chk1, chk2 in that order. Other sections,
// keys and comments in the file are left in place.
//
// The file is written in UTF-8. A file that is not valid UTF-8 was written
// by an older Windows tool and is read as Shift-JIS (code page 932).
class SettingsFile {
public:
    static constexpr const char* kFileName = "SETTING.INI";
    static constexpr const char* kSection = "INI_SETTING";
    // The sitemap options: lastmod, robots, index_as_folder, gzip ("0"/"1"),
    // exclude and extensions (lists separated by ";").
    static constexpr const char* kOptionsSection = "SITEMAP_OPTIONS";
    static constexpr size_t kMaxValueBytes = 4095;
    // Read, never written: a setting for those who run the tool unattended.
    static constexpr const char* kConnectionsKey = "connections";

    // "0" to "16"; anything else gives the default, more than 16 gives 16.
    static int parseConnections(const std::string& text);
    static int parseCount(const std::string& text, int fallback, int least, int most);
    static constexpr const char* kVerifyRequestsKey = "verify_requests";

    // SETTING.INI in the given folder (the current directory at start).
    static std::string pathIn(const std::string& folder);

    // The folder of the program started from a desktop menu, where its
    // settings and sitemap.xml live: $XDG_CONFIG_HOME/quillomar, or
    // $HOME/.config/quillomar where that is unset, empty or relative (the
    // XDG rule); empty when neither names a folder. Pass getenv's values.
    static std::string userFolder(const char* xdgConfigHome, const char* home);

    // The SSH host keys trusted, in a file beside the settings file.
    static std::string knownHostsBeside(const std::string& settingsPath);

    // What a run needs beside the stored values, the same for the dialog
    // and the CLI: certificates trusted besides the system's (from
    // QUILLOMAR_CA_FILE), and known_hosts and the run log beside this file.
    void prepareRun(JobSettings& settings) const;

    void setPath(const std::string& path) { path_ = path; }
    const std::string& path() const { return path_; }

    // Missing file or key: empty text. Values longer than 4095 bytes are
    // cut (never inside a character). False (values empty, error set when
    // given) when something stands there that cannot be read whole: not a
    // regular file, larger than 1 MB, neither UTF-8 nor Shift-JIS.
    bool load(JobSettings& settings, std::string* error = nullptr) const;

    // Writes the seven values (and the options, once any was set); false when the file could not be written,
    // and false without writing when the file there cannot be read whole.
    // A value comes back from load exactly as it was saved. On POSIX
    // systems a new file is readable by its owner only: it holds the password.
    // Nor when the file holds lines that are no settings (they would be
    // dropped). error, when given, says why it was not written.
    bool save(const JobSettings& settings, std::string* error = nullptr) const;

    // Writes the sitemap options alone, the rest of the file as it is; false
    // as save is.
    bool saveOptions(const SitemapOptions& options, std::string* error = nullptr) const;

    // How a stored flag shows in a two-state check box: the text read as a
    // decimal integer (leading blanks and sign, then digits; none gives 0);
    // any value but 0 shows ticked.
    static bool flagTicked(const std::string& text);

    // What the user is told when the file could not be written: it names
    // the folder, and what to do (a read-only folder such as Program Files).
    std::string notSavedMessage() const;

    // Set by a save that had to change the file's encoding (a Shift-JIS file
    // given a value with no Shift-JIS form is written in UTF-8); empty
    // otherwise. Worth telling the user once.
    const std::string& notice() const { return notice_; }
    static constexpr const char* kNowUtf8 =
        "SETTING.INI はシフトJISで書かれていましたが、シフトJISにない文字があるため UTF-8 で保存しました。"
        "この設定ファイルを読む古いツールでは文字化けすることがあります。";

private:
    std::string path_;
    mutable std::string notice_;
};
