#pragma once

#include <optional>
#include <string>

// quillomar.log beside SETTING.INI: one line for each generation, dialog or
// CLI, the newest last, so that a scheduled run's history can be read and
// the next run can compare its page count with the last one's. Kept under
// kMaxBytes by dropping the oldest lines.
struct RunRecord {
    std::string started;  // local time, "2026-12-09 20:30:05"
    bool completed = false;
    std::string site;     // the base URL the pages were written for
    long pages = 0, folders = 0, leftOut = 0, unreadable = 0;
    double seconds = 0;
    std::string reason;   // why it failed; empty for a completed run
};

namespace run_log {

constexpr const char* kFileName = "quillomar.log";
constexpr std::uintmax_t kMaxBytes = 1u << 20;

std::string besideSettings(const std::string& settingsPath);

// The record as one line (tab-separated, ending in "\n").
std::string format(const RunRecord& record);

// Appends the record; false with error when the file cannot be written.
bool append(const std::string& path, const RunRecord& record, std::string& error);

// Pages of the last completed run for the same site; nothing when there
// is none (or the log cannot be read).
std::optional<long> lastCompletedPages(const std::string& path, const std::string& site);

}  // namespace run_log
