#include "cli/CliOptions.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "util/Utf8Path.h"

namespace {

constexpr size_t kMaxPasswordFileBytes = 64u << 10;

struct ValueOption {
    const char* name;
    std::optional<std::string> CliOptions::*field;
};

constexpr ValueOption kValueOptions[] = {
    {"--settings", &CliOptions::settingsFile}, {"--host", &CliOptions::host},
    {"--account", &CliOptions::account},       {"--password-file", &CliOptions::passwordFile},
    {"--folder", &CliOptions::folder},         {"--base-url", &CliOptions::baseUrl},
    {"--extensions", &CliOptions::extensions}, {"--trust-host-key", &CliOptions::trustHostKey},
};

struct FlagOption {
    const char* name;
    std::optional<bool> CliOptions::*field;
    bool value;
};

struct NumberOption {
    const char* name;
    std::optional<int> CliOptions::*field;
    int min, max;
};

constexpr NumberOption kNumberOptions[] = {
    {"--connections", &CliOptions::connections, 0, JobSettings::kMaxConnections},
    {"--reply-timeout", &CliOptions::replyTimeout, 1, 3600},
    {"--time-limit", &CliOptions::timeLimit, 1, 604800},
};

const NumberOption* findNumberOption(std::string_view name) {
    for (const auto& option : kNumberOptions)
        if (name == option.name) return &option;
    return nullptr;
}

constexpr FlagOption kFlagOptions[] = {
    {"--mobile", &CliOptions::mobile, true},  {"--no-mobile", &CliOptions::mobile, false},
    {"--upload", &CliOptions::upload, true},  {"--no-upload", &CliOptions::upload, false},
    {"--lastmod", &CliOptions::lastmod, true},  {"--no-lastmod", &CliOptions::lastmod, false},
    {"--robots", &CliOptions::robots, true},  {"--no-robots", &CliOptions::robots, false},
    {"--index-as-folder", &CliOptions::indexAsFolder, true},
    {"--no-index-as-folder", &CliOptions::indexAsFolder, false},
    {"--gzip", &CliOptions::gzip, true},  {"--no-gzip", &CliOptions::gzip, false},
};

}  // namespace

const char* CliOptions::usage() {
    return "Usage: quillomar-cli [OPTION]...\n"
           "Builds sitemap.xml in the current directory for a site kept on an FTP server,\n"
           "from the settings in SETTING.INI, and saves those settings back as the dialog does.\n"
           "Options change single settings for this run only; they are not saved.\n"
           "\n"
           "  --settings FILE        use FILE instead of SETTING.INI in the current directory\n"
           "  --host HOST[:PORT]     FTP host\n"
           "  --account NAME         FTP account\n"
           "  --password-file FILE   read the password from the first line of FILE;\n"
           "                         without it, QUILLOMAR_PASSWORD is used when set\n"
           "  --folder DIR           remote folder that is the site's top\n"
           "  --base-url URL         the site's public address for that folder\n"
           "  --mobile, --no-mobile  mobile sitemap on or off\n"
           "  --upload, --no-upload  upload sitemap.xml to the folder afterwards, or not\n"
           "\n"
           "  --lastmod, --no-lastmod  write each page's modification time (date and\n"
           "                         time where the server gives it in UTC, else the date)\n"
           "  --robots, --no-robots  leave out what the site's robots.txt (in the remote\n"
           "                         folder) forbids every crawler\n"
           "  --exclude PATTERN      leave out pages and folders whose path below the remote\n"
           "                         folder matches (\"/cgi-bin/*\", \"*/draft/*\", \"*.bak\";\n"
           "                         a pattern without \"/\" matches the name); repeatable\n"
           "  --extensions LIST      pages are the names ending in one of LIST (\".html;.pdf\");\n"
           "                         by default, names holding .htm, .php or .cgi\n"
           "  --index-as-folder, --no-index-as-folder\n"
           "                         write index.html, index.htm and index.php as their\n"
           "                         folder's address\n"
           "  --gzip, --no-gzip      write the pages compressed (sitemap-1.xml.gz, ...),\n"
           "                         named by sitemap.xml, an index\n"
           "  --connections N        logins that walk the site at once, 1 to 16 (default 4,\n"
           "                         or \"connections\" in SETTING.INI); 0 walks folder by\n"
           "                         folder on a single connection\n"
           "  --reply-timeout SEC    give up on a server that sends nothing for SEC\n"
           "                         seconds (default 60)\n"
           "  --time-limit SEC       stop the generation (and fail) once it has taken SEC\n"
           "                         seconds, at the next folder (default: no limit)\n"
           "  --trust-host-key SHA256:...\n"
           "                         SFTP: trust the server's host key of this fingerprint\n"
           "                         the first time (it is then kept in known_hosts beside\n"
           "                         SETTING.INI); unknown keys are refused otherwise\n"
           "  --quiet, -q            print nothing for a run that succeeds (for cron, which\n"
           "                         mails what a job prints); a failure prints as always\n"
           "  --verbose              print every command and reply of every connection\n"
           "                         (the password masked) and how the walk went\n"
           "  --allow-partial        exit 0 even when some folders could not be read\n"
           "                         (they are counted on the last line either way)\n"
           "  --allow-shrink         upload even when the page count fell below half of\n"
           "                         the last run's (held back otherwise)\n"
           "  --help                 show this help and exit\n"
           "  --version              show the version and exit\n"
           "\n"
           "Host: ftp://HOST (plain FTP, the default), ftpes://HOST (TLS turned on before\n"
           "the login), ftps://HOST (TLS from the start, port 990) or sftp://HOST (SFTP,\n"
           "port 22). Certificates are verified; QUILLOMAR_CA_FILE names more authorities\n"
           "(PEM) to trust. A changed SSH host key is always refused.\n"
           "\n"
           "Status lines and messages go to standard error.\n"
           "Exit status: 0 done, 1 the generation failed (or folders could not be read),\n"
           "2 a missing value or a wrong option, 130 or 143 stopped by Ctrl+C or SIGTERM\n"
           "(nothing is uploaded then).\n";
}

std::optional<CliOptions> CliOptions::parse(int argc, const char* const argv[], std::string& error) {
    CliOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view name = arg.substr(0, arg.find('='));
        bool matched = false;
        if (arg == "--help" || arg == "-h") {
            options.help = matched = true;
        } else if (arg == "--verbose") {
            options.verbose = matched = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = matched = true;
        } else if (arg == "--allow-partial") {
            options.allowPartial = matched = true;
        } else if (arg == "--allow-shrink") {
            options.allowShrink = matched = true;
        } else if (arg == "--version") {
            options.version = matched = true;
        } else if (const NumberOption* number = findNumberOption(name)) {
            std::string text;
            if (name.size() < arg.size())
                text = arg.substr(name.size() + 1);
            else if (i + 1 < argc)
                text = argv[++i];
            if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(text) < number->min || std::stoi(text) > number->max) {
                error = std::string(number->name) + " takes a number from " + std::to_string(number->min) + " to " +
                        std::to_string(number->max);
                return std::nullopt;
            }
            options.*number->field = std::stoi(text);
            matched = true;
        } else if (name == "--password" || arg.rfind("--password=", 0) == 0 ||
                   (arg.rfind("--password", 0) == 0 && arg.rfind("--password-file", 0) != 0)) {
            // Never repeated: the value would end up in cron mail.
            error = "--password is not accepted (it would show in process lists); use --password-file "
                    "or QUILLOMAR_PASSWORD";
            return std::nullopt;
        }
        if (!matched && name == "--exclude") {
            std::string pattern;
            if (name.size() < arg.size())
                pattern = arg.substr(name.size() + 1);
            else if (i + 1 < argc)
                pattern = argv[++i];
            if (pattern.empty()) {
                error = "option --exclude needs a pattern";
                return std::nullopt;
            }
            if (!options.exclude) options.exclude.emplace();
            options.exclude->push_back(pattern);
            matched = true;
        }
        for (const auto& flag : kFlagOptions) {
            if (!matched && arg == flag.name) {
                options.*flag.field = flag.value;
                matched = true;
            }
        }
        for (const auto& option : kValueOptions) {
            if (matched || name != option.name) continue;
            if (name.size() < arg.size()) {
                options.*option.field = std::string(arg.substr(name.size() + 1));
            } else if (i + 1 < argc) {
                options.*option.field = std::string(argv[++i]);
            } else {
                error = std::string("option ") + option.name + " needs a value";
                return std::nullopt;
            }
            matched = true;
        }
        if (!matched) {
            error = "unknown option: " + std::string(arg);
            return std::nullopt;
        }
    }
    return options;
}

bool CliOptions::applyTo(JobSettings& settings, std::string& error) const {
    if (host) settings.hostName = *host;
    if (account) settings.accountName = *account;
    if (folder) settings.targetFolder = *folder;
    if (baseUrl) settings.baseUrl = *baseUrl;
    if (mobile) settings.mobileFlag = *mobile ? "1" : "0";
    if (upload) settings.uploadFlag = *upload ? "1" : "0";
    if (connections) settings.connections = *connections;
    if (lastmod) settings.sitemap.lastmod = *lastmod;
    if (robots) settings.sitemap.robots = *robots;
    if (indexAsFolder) settings.sitemap.indexAsFolder = *indexAsFolder;
    if (gzip) settings.sitemap.gzip = *gzip;
    if (exclude) settings.sitemap.exclude = *exclude;
    if (extensions) settings.sitemap.extensions = SitemapOptions::splitList(*extensions);
    if (replyTimeout) settings.replyTimeoutSeconds = *replyTimeout;
    if (timeLimit) settings.timeLimitSeconds = *timeLimit;
    settings.allowShrink = allowShrink;
    if (const char* authority = std::getenv("QUILLOMAR_CA_FILE")) settings.caFile = authority;
    if (trustHostKey) {
        if (trustHostKey->rfind("SHA256:", 0) != 0 || trustHostKey->size() != 50) {
            error = "--trust-host-key takes a key's fingerprint as ssh-keygen -l prints it (SHA256: and 43 "
                    "characters)";
            return false;
        }
        settings.trustedHostKey = *trustHostKey;
    }
    if (passwordFile) {
        // A regular file of reasonable size only: /dev/zero or a pipe would
        // never end.
        std::error_code ec;
        auto path = utf8Path(*passwordFile);
        bool regular = std::filesystem::is_regular_file(path, ec);
        std::ifstream in(path, std::ios::binary);
        std::string text(kMaxPasswordFileBytes + 1, '\0');
        if (regular && in) in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(regular && in.gcount() > 0 ? static_cast<size_t>(in.gcount()) : 0);
        if (!regular || in.bad() || text.empty() || text.size() > kMaxPasswordFileBytes) {
            error = "cannot read the password file: " + *passwordFile;
            return false;
        }
        std::string line = text.substr(0, text.find('\n'));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        settings.password = line;
    } else if (const char* fromEnvironment = std::getenv("QUILLOMAR_PASSWORD")) {
        settings.password = fromEnvironment;
    }
    return true;
}
