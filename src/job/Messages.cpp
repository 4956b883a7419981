#include "job/Messages.h"

#include <cstdio>
#include <utility>

#include "sitemap/WordPress.h"

namespace messages {

namespace {

struct Row {
    FailureKind kind;
    const char* headline;
    const char* advice;  // detail, if any, follows it
};

constexpr Row kTable[] = {
    {FailureKind::LoginRefused, kCannotConnect,
     "アカウントまたはパスワードが違います。入力を確かめてください（失敗が続くとサーバに接続を断られることがあります）。"},
    {FailureKind::HostNotFound, kCannotConnect, "ホスト名が見つかりません。ホストの欄の綴りを確かめてください。"},
    {FailureKind::ConnectionRefused, kCannotConnect,
     "そのポートで待っているサーバがありません。ホストの欄のポート番号と ftp:// ftpes:// ftps:// sftp:// "
     "の指定を確かめてください。"},
    {FailureKind::NoAnswer, kCannotConnect,
     "サーバが時間内に応答しませんでした。ホストの欄を確かめ、しばらくしてからもう一度実行してください。"},
    {FailureKind::TlsRefused, kCannotConnect,
     "サーバが暗号化 (TLS) での接続を受け付けませんでした。ホストの欄の ftpes:// ftps:// の指定が"
     "サーバに合っているか、サーバの案内を確かめてください。"},
    {FailureKind::CertificateOtherName, kCannotConnect,
     "FTPサーバの証明書はホスト名と一致しません。ホストの欄を確かめてください。\n証明書の名前: "},
    {FailureKind::CertificateUntrusted, kCannotConnect,
     "FTPサーバの証明書を確認できませんでした（期限切れか、信頼されていない発行元の証明書です）。"
     "サーバ会社の案内にあるホスト名を使ってください。独自の発行元の証明書なら、"
     "その発行元の証明書を環境変数 QUILLOMAR_CA_FILE で指定できます。"},
    {FailureKind::HostKeyUnknown, kCannotConnect,
     "SSHサーバのホスト鍵が信頼されていないため接続しませんでした。鍵の指紋: "},
    {FailureKind::HostKeyChanged, kCannotConnect,
     "SSHサーバのホスト鍵が以前と違います。なりすましの恐れがあるため接続しませんでした。鍵の指紋: "},
    {FailureKind::LoginFailed, kCannotConnect, ""},
    {FailureKind::FolderRefused, kCannotChangeFolder, "対象フォルダの名前と場所を確かめてください。"},
    {FailureKind::ListingRefused, kCannotList, ""},
    {FailureKind::ConnectionLost, kConnectionLost, "しばらくしてからもう一度実行してください。"},
    {FailureKind::WriteFailed, kWriteFailed, "保存するフォルダに書き込めるか、空き容量を確かめてください。"},
    {FailureKind::UploadFailed, kUploadFailed, "サイトの sitemap.xml は以前のまま残っています。"},
    {FailureKind::TooLarge, kTooLarge, ""},
    {FailureKind::TimeLimit, kTimeLimit, ""},
    {FailureKind::NotThisSite, kNotThisSite,
     "http の欄のアドレスと対象フォルダが同じ場所を指しているか確かめてください。sitemap.xml は書いていません。"
     "最初に確かめたアドレスとその応答:"},
    {FailureKind::SiteDown, kSiteDown,
     "サイトが止まっているか、エラーを返しています。しばらくしてからもう一度実行してください。vendor/ のような"
     "ライブラリのフォルダは除外パターンで除けます。sitemap.xml は書いていません。"},
    {FailureKind::Stopped, kStopped, "何もアップロードしていません。"},
    {FailureKind::NoPages, kNoPages, "対象フォルダ、詳細設定の拡張子と除外の指定を確かめてください。"},
    {FailureKind::Shrunk, kShrunk, ""},
};

const Row* rowOf(FailureKind kind) {
    for (const Row& row : kTable)
        if (row.kind == kind) return &row;
    return nullptr;
}

}  // namespace

const char* headline(FailureKind kind) {
    const Row* row = rowOf(kind);
    return row ? row->headline : "";
}

std::string advice(const Failure& failure) {
    const Row* row = rowOf(failure.kind);
    if (!row) return {};
    if (failure.kind == FailureKind::Shrunk) {
        // detail: "before now"
        const size_t space = failure.detail.find(' ');
        return "前回 " + failure.detail.substr(0, space) + " ページ、今回 " +
               (space == std::string::npos ? std::string("?") : failure.detail.substr(space + 1)) + " ページです。";
    }
    std::string text = row->advice;
    switch (failure.kind) {
        case FailureKind::HostKeyUnknown:
            return text + failure.detail + "\n確かめたうえで信頼するなら、もう一度実行して「はい」を選んでください。";
        case FailureKind::HostKeyChanged:
        case FailureKind::CertificateOtherName:
            return text + failure.detail;
        default:
            return text;
    }
}

std::string text(const Failure& failure) {
    std::string all = headline(failure.kind);
    const std::string more = advice(failure);
    if (!more.empty()) all += "\n" + more;
    if (!failure.reason.empty()) all += "\n" + failure.reason;
    return all;
}

std::string completionLine(int year, int month, int day, int hour, int minute) {
    char text[64];
    std::snprintf(text, sizeof text, "更新完了 (%04d/%02d/%02d %02d:%02d)", year, month, day, hour, minute);
    return text;
}

std::string checkingLine(size_t done, size_t total) {
    return std::string(kChecking) + " " + std::to_string(done) + " / " + std::to_string(total);
}

std::string shrinkQuestion(long before, long now) {
    return "ページ数が前回の " + std::to_string(before) + " から " + std::to_string(now) +
           " に減りました。\nこのまま sitemap.xml をアップロードしますか？";
}

std::string hostKeyQuestion(const std::string& host, const std::string& fingerprint) {
    return "SSHサーバ " + host + " に初めて接続します。\nホスト鍵の指紋: " + fingerprint +
           "\nこの鍵を信頼して接続しますか？";
}

std::string missedFoldersLine(const WalkStats& stats) {
    std::string line;
    if (stats.unreadableFolders > 0)
        line += "一覧を取得できなかったフォルダ: " + std::to_string(stats.unreadableFolders);
    if (stats.tooDeepFolders > 0) {
        if (!line.empty()) line += "  ";
        line += "深すぎるため読まなかったフォルダ: " + std::to_string(stats.tooDeepFolders);
    }
    return line;
}

std::string checkedLine(const SiteCheck& check) {
    using O = PageOutcome;
    const size_t unconfirmed = check.count(O::Unconfirmed);
    std::string line = "確認: 載せる " + std::to_string(check.count(O::Kept) + unconfirmed);
    if (unconfirmed > 0) line += "（うち未確認 " + std::to_string(unconfirmed) + "）";
    for (O outcome : {O::NotFound, O::Redirect, O::NoIndex, O::OtherCanonical, O::NotAPage, O::NotPublic, O::Disallowed, O::WordPressCode})
        if (const size_t n = check.count(outcome))
            line += std::string("・") + outcomeLabel(outcome) + " " + std::to_string(n);
    return line;
}

std::string wordPressNotice(const std::string& baseUrl, bool checked) {
    std::string text =
        "対象フォルダには WordPress が入っています。\n"
        "WordPress の投稿や固定ページはファイルではないため、フォルダをたどっても見つかりません。"
        "WordPress は自分のサイトマップを " + baseUrl + "/" + wordpress::kOwnSitemap +
        " に公開しています（SEO プラグインを使っている場合はそのプラグインのもの）。検索エンジンにはそちらを送ってください。\n";
    if (checked) return text + "WordPress 本体のファイルは、問い合わせずに除きました。";
    text += "この sitemap.xml には WordPress 本体のプログラムのファイルも載っています。";
    return text + "詳細設定の「公開サイトで確かめ…」（quillomar-cli では --verify）をオンにすると、それらを除けます。";
}

std::string robotsUnreadable(const std::string& why) {
    return std::string(kRobotsUnreadable) +
           "\nrobots.txt がサーバのエラーを返すあいだは、検索エンジンもサイトを読みません。サーバの状態を確かめてください。\n" +
           why;
}

std::string countsLine(const WalkStats& stats, const SitemapOptions& options) {
    std::string line = "ページ " + std::to_string(stats.pages) + "・フォルダ " + std::to_string(stats.foldersListed);
    if (options.robots) line += "・robots.txt で除外 " + std::to_string(stats.excludedByRobots);
    if (!options.exclude.empty()) line += "・パターンで除外 " + std::to_string(stats.excludedByPattern);
    const std::string missed = missedFoldersLine(stats);
    return missed.empty() ? line : line + "  " + missed;
}

}  // namespace messages
