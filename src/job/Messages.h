#pragma once

#include <string>

#include "util/Failure.h"
#include "verify/SiteCheck.h"
#include "walk/WalkResult.h"
#include "settings/SitemapOptions.h"

// The one table of failure messages, for the dialog and the CLI alike.
namespace messages {

// First lines, as the program has always shown them.
constexpr const char* kCannotConnect = "FTPサーバへ接続できませんでした";
constexpr const char* kCannotChangeFolder = "フォルダ移動に失敗しました";
constexpr const char* kCannotList = "フォルダの一覧を取得できませんでした";
constexpr const char* kWriteFailed = "sitemap.xmlの書き込みに失敗しました";
constexpr const char* kUploadFailed = "sitemap.xmlのアップロードに失敗しました";
constexpr const char* kConnectionLost = "FTPサーバとの接続が切れました";
constexpr const char* kTooLarge = "フォルダまたはページが多すぎるため中止しました";
constexpr const char* kTimeLimit = "制限時間内に終わらなかったため中止しました";
constexpr const char* kNotThisSite = "公開サイトにページが見つかりませんでした";
constexpr const char* kSiteDown = "公開サイトが正しく応答しませんでした";
constexpr const char* kStopped = "中止しました";
constexpr const char* kNoPages = "ページが1つも見つからなかったため、アップロードしませんでした。";
constexpr const char* kShrunk = "ページ数が前回より大きく減ったため、アップロードしませんでした。";

// What the status line says while a generation runs.
constexpr const char* kSearching = "FTP ファイル検索中…";
constexpr const char* kListing = "FTP リスト生成中…";
constexpr const char* kUploading = "FTP Sitemap.xmlアップロード中…";
constexpr const char* kChecking = "HTTP 確認中…";

// The progress line while pages are checked: "HTTP 確認中… 1200 / 2593".
std::string checkingLine(size_t done, size_t total);
// Beside the message of an upload held back, when the file stays here.
constexpr const char* kLocalFileKept = "（このパソコンの sitemap.xml は残してあります）";

// "更新完了 (YYYY/MM/DD hh:mm)" for a local time.
std::string completionLine(int year, int month, int day, int hour, int minute);

// Asked before an upload with less than half of the last run's pages.
std::string shrinkQuestion(long before, long now);

// Asked when an SFTP server's key is met for the first time, with the
// host ("name:port") and the key's fingerprint.
std::string hostKeyQuestion(const std::string& host, const std::string& fingerprint);

// The first line for a kind.
const char* headline(FailureKind kind);

// The second line: the cause and what to do next, in Japanese (empty
// where there is nothing to add).
std::string advice(const Failure& failure);

// The whole message: the first line, the advice, then the reason in the
// server's or the library's words for those who want it.
std::string text(const Failure& failure);

// What the progress line shows at the end when folders were missed,
// e.g. "一覧を取得できなかったフォルダ: 2".
std::string missedFoldersLine(const WalkStats& stats);

// What the progress line shows at the end when any sitemap option is on:
// "ページ 12・フォルダ 5", what was left out, and the missed folders.
std::string countsLine(const WalkStats& stats, const SitemapOptions& options);

// What the check on the live site made of the addresses: "確認: 載せる 12
// （うち未確認 1）・見つからない 2・転送 1", the outcomes that came up.
std::string checkedLine(const SiteCheck& check);

// Said after a run over a folder holding WordPress, checked or not: where
// its pages' own sitemap is, and what became of its program files.
std::string wordPressNotice(const std::string& baseUrl, bool checked);

// Said after a check that asked nothing: the site's robots.txt could not be
// read (a server error, or no answer), so every page was kept unconfirmed.
// why: the address and its answer.
constexpr const char* kRobotsUnreadable = "公開サイトの robots.txt を読めなかったため、ページを確かめずにすべて載せました";
std::string robotsUnreadable(const std::string& why);

}  // namespace messages
