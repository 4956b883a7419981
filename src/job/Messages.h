#pragma once

#include <string>

#include "util/Failure.h"

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
constexpr const char* kStopped = "中止しました";
constexpr const char* kNoPages = "ページが1つも見つからなかったため、アップロードしませんでした。";
constexpr const char* kShrunk = "ページ数が前回より大きく減ったため、アップロードしませんでした。";

// The first line for a kind.
const char* headline(FailureKind kind);

// The second line: the cause and what to do next, in Japanese (empty
// where there is nothing to add).
std::string advice(const Failure& failure);

// The whole message: the first line, the advice, then the reason in the
// server's or the library's words for those who want it.
std::string text(const Failure& failure);

}  // namespace messages
