#include "sitemap/WordPress.h"

namespace wordpress {

bool isInstall(const NameList& names) {
    bool config = false, includes = false;
    for (const auto& entry : names) {
        if (entry.name == "wp-config.php" && entry.kind != EntryKind::Folder) config = true;
        if (entry.name == "wp-includes" && entry.kind != EntryKind::File && entry.kind != EntryKind::Other)
            includes = true;
    }
    return config && includes;
}

std::string codeGroup(std::string_view path) {
    for (const char* folder : {"wp-admin/", "wp-includes/", "wp-content/plugins/", "wp-content/themes/",
                               "wp-content/mu-plugins/", "wp-content/cache/"})
        if (path.starts_with(folder)) return folder;
    if (path.find('/') != std::string_view::npos) return {};
    // The files at the top that belong to WordPress and are no page of the
    // site: its entry points and libraries, and the read-me it ships.
    const bool entry = (path.starts_with("wp-") && path.ends_with(".php")) || path == "xmlrpc.php";
    return entry || path == "readme.html" || path == "license.txt" ? kTopFiles : std::string();
}

}  // namespace wordpress
