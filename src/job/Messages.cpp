#include "job/Messages.h"

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

}  // namespace messages
