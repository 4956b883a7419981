#pragma once

#include <string>
#include <string_view>

#include "remote/NameList.h"

// A WordPress install at the site's top. Its pages are made by WordPress
// from its database, not kept as files, so a walk of its folders finds
// only WordPress's own program files; WordPress publishes its own sitemap.
namespace wordpress {

// Whether a folder's listing is a WordPress install's top: wp-config.php
// beside a folder wp-includes.
bool isInstall(const NameList& names);

// Where WordPress (5.5 and later) publishes its own sitemap, below the site's address.
inline constexpr const char* kOwnSitemap = "wp-sitemap.xml";

// The part of WordPress's own code a path below the install's top falls
// in: "wp-admin/", "wp-includes/", "wp-content/plugins/" (also themes,
// mu-plugins, cache), kTopFiles, or "" for anything else (the site's own
// files, uploads). Such addresses are never asked for: wp-cron.php runs
// scheduled jobs when it is fetched, and the rest are library files.
inline constexpr const char* kTopFiles = "wp-*.php, xmlrpc.php, readme.html";
std::string codeGroup(std::string_view path);

}  // namespace wordpress
