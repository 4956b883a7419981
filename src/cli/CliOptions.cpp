#include "cli/CliOptions.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "util/Lines.h"
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
    {"--report-tsv", &CliOptions::reportTsv},
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
    {"--verify-requests", &CliOptions::verifyRequests, 1, JobSettings::kMaxVerifyRequests},
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
    {"--verify", &CliOptions::verify, true},  {"--no-verify", &CliOptions::verify, false},
};

}  // namespace

// The text below names the limits of connections.
static_assert(JobSettings::kDefaultConnections == 4 && JobSettings::kMaxConnections == 16);
static_assert(JobSettings::kDefaultVerifyRequests == 8 && JobSettings::kMaxVerifyRequests == 64);

const char* CliOptions::usage() {
    return "使い方: quillomar-cli [オプション]...\n"
           "今いるフォルダの SETTING.INI の設定で、FTP サーバにあるサイトの sitemap.xml を\n"
           "そのフォルダに作ります。設定は画面版と同じように保存し直します。\n"
           "オプションはその回の実行だけ設定を変えます（保存はしません）。\n"
           "\n"
           "  --settings FILE        今いるフォルダの SETTING.INI の代わりに FILE を使う\n"
           "  --host HOST[:PORT]     ホスト\n"
           "  --account NAME         アカウント\n"
           "  --password-file FILE   パスワードを FILE の 1 行目から読む（ないときは\n"
           "                         環境変数 QUILLOMAR_PASSWORD があればそれを使う）\n"
           "  --folder DIR           対象フォルダ（サイトの一番上にあたるサーバ上のフォルダ）\n"
           "  --base-url URL         httpパス（対象フォルダが公開されているアドレス）\n"
           "  --mobile, --no-mobile  モバイルサイトマップにする、しない\n"
           "  --upload, --no-upload  できた sitemap.xml を対象フォルダへアップロードする、しない\n"
           "\n"
           "  --lastmod, --no-lastmod  ページの更新日時を書く（サーバが UTC で教えるときは\n"
           "                         日時、それ以外は日付）\n"
           "  --robots, --no-robots  対象フォルダの robots.txt がすべてのクローラに禁止する\n"
           "                         ページを除く\n"
           "  --exclude PATTERN      対象フォルダからのパスが合うページとフォルダを除く\n"
           "                         （\"/cgi-bin/*\"、\"*/draft/*\"、\"*.bak\"。\"/\" のない\n"
           "                         パターンは名前と比べる）。何度でも指定できる\n"
           "  --extensions LIST      LIST（\".html;.pdf\"）のどれかで終わる名前をページとする。\n"
           "                         指定しなければ .htm .php .cgi を含む名前\n"
           "  --index-as-folder, --no-index-as-folder\n"
           "                         index.html、index.htm、index.php をフォルダのアドレスで書く\n"
           "  --gzip, --no-gzip      ページの一覧を圧縮して sitemap-1.xml.gz などに書き、\n"
           "                         sitemap.xml をそれらの目次にする\n"
           "  --verify, --no-verify  すべてのアドレスを公開サイトに GET で 1 回ずつ問い合わせ、\n"
           "                         検索エンジンに載るページだけを書く（404、転送、noindex、\n"
           "                         別の canonical、ページでないものを除く）。結果は\n"
           "                         sitemap.xml の隣の sitemap-check.html に\n"
           "  --report-tsv FILE      その結果をタブ区切りで FILE にも書く\n"
           "  --verify-requests N    同時に問い合わせる数、1 から 64（既定は 8、または\n"
           "                         SETTING.INI の verify_requests）\n"
           "  --connections N        同時にログインして読む数、1 から 16（既定は 4、または\n"
           "                         SETTING.INI の connections）。0 は 1 本の接続でフォルダを\n"
           "                         1 つずつ読む\n"
           "  --reply-timeout SEC    サーバが SEC 秒何も送ってこなければあきらめる（既定 60）\n"
           "  --time-limit SEC       SEC 秒たったら次のフォルダで中止して失敗とする\n"
           "                         （既定は制限なし）\n"
           "  --trust-host-key SHA256:...\n"
           "                         SFTP: 初めてのサーバのホスト鍵がこの指紋なら信頼する\n"
           "                         （SETTING.INI と同じフォルダの known_hosts に残る）。\n"
           "                         指定がなければ知らない鍵は断る\n"
           "  --quiet, -q            うまくいったときは何も表示しない（cron 向け）。\n"
           "                         失敗したときはいつもどおり表示する\n"
           "  --verbose              すべての接続のコマンドと応答（パスワードは伏せる）と\n"
           "                         読み方を表示する\n"
           "  --allow-partial        読めないフォルダがあっても終了コード 0 にする\n"
           "                         （数はどちらの場合も最後の行に出る）\n"
           "  --allow-shrink         ページ数が前回の半分未満でもアップロードする\n"
           "                         （指定しなければアップロードしない）\n"
           "  --help                 この説明を表示して終わる\n"
           "  --version              バージョンを表示して終わる\n"
           "\n"
           "ホスト: ftp://HOST（ふつうの FTP、既定）、ftpes://HOST（ログイン前に TLS）、\n"
           "ftps://HOST（最初から TLS、ポート 990）、sftp://HOST（SFTP、ポート 22）。\n"
           "証明書は必ず確かめます。QUILLOMAR_CA_FILE で信頼する発行元 (PEM) を足せます。\n"
           "以前と違う SSH ホスト鍵はいつも断ります。\n"
           "\n"
           "進み具合とメッセージは標準エラー出力に出ます。\n"
           "終了コード: 0 完了、1 失敗（または読めないフォルダがあった）、\n"
           "2 設定の不足かオプションの誤り、130 か 143 Ctrl+C か SIGTERM で中止\n"
           "（そのときは何もアップロードしません）。\n";
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
    if (verifyRequests) settings.verifyRequests = *verifyRequests;
    if (lastmod) settings.sitemap.lastmod = *lastmod;
    if (robots) settings.sitemap.robots = *robots;
    if (indexAsFolder) settings.sitemap.indexAsFolder = *indexAsFolder;
    if (gzip) settings.sitemap.gzip = *gzip;
    if (verify) settings.sitemap.verify = *verify;
    if (reportTsv) settings.checkReportTsv = *reportTsv;
    if (exclude) settings.sitemap.exclude = *exclude;
    if (extensions) settings.sitemap.extensions = SitemapOptions::splitList(*extensions);
    if (replyTimeout) settings.replyTimeoutSeconds = *replyTimeout;
    if (timeLimit) settings.timeLimitSeconds = *timeLimit;
    settings.allowShrink = allowShrink;
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
        settings.password = firstLine(text);
    } else if (const char* fromEnvironment = std::getenv("QUILLOMAR_PASSWORD")) {
        settings.password = fromEnvironment;
    }
    return true;
}
