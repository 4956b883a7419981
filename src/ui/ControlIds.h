#pragma once

// Control ids of the main dialog.
namespace control_id {
inline constexpr int kExecute = 1;  // the "実行" button
inline constexpr int kStatusLine = 1003;
inline constexpr int kHost = 1004;
inline constexpr int kAccount = 1005;
inline constexpr int kPassword = 1006;
inline constexpr int kTargetFolder = 1007;
inline constexpr int kBaseUrl = 1008;
inline constexpr int kProgressLine = 1009;
inline constexpr int kMobile = 1011;
inline constexpr int kUpload = 1012;
inline constexpr int kOptions = 1013;  // the "詳細設定…" button
inline constexpr int kReportLink = 1014;  // "結果を開く": the check's report

// The options dialog.
inline constexpr int kLastmod = 1101;
inline constexpr int kRobots = 1102;
inline constexpr int kIndexAsFolder = 1103;
inline constexpr int kGzip = 1104;
inline constexpr int kExclude = 1105;
inline constexpr int kExtensions = 1106;
inline constexpr int kVerify = 1107;

// The eight input controls, in the order they are enabled.
inline constexpr int kInputs[] = {kHost, kAccount, kPassword, kTargetFolder, kBaseUrl, kExecute, kMobile, kUpload};
}  // namespace control_id
