#pragma once

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "sitemap/JobObserver.h"

// Reports a job on standard error, one line per text, UTF-8. Messages never
// wait for an answer: there is nobody to press OK.
// Control bytes (a folder named with ESC could retitle or clear the
// terminal) are printed escaped.
//
// Quiet (--quiet, for cron, which mails whatever a job prints): lines are
// held back, and printed only when release() is called, after a failure.
class ConsoleObserver : public JobObserver {
public:
    explicit ConsoleObserver(bool quiet = false) : quiet_(quiet) {}

    void setStatus(const std::string& text) override { say(text); }
    void setProgress(const std::string& text) override { say(text); }
    // A message's lines one by one: what failed, why, the server's words.
    void showMessage(const std::string& text) override {
        for (size_t start = 0; start <= text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            say(text.substr(start, end - start));
            start = end + 1;
        }
    }

    // A line of the run's report: printed, or held back when quiet.
    void say(const std::string& text) {
        if (!quiet_) return printLine(text);
        std::lock_guard<std::mutex> lock(heldMutex_);
        if (!text.empty()) held_.push_back(text);
    }
    // Prints what was held back (a run that failed tells all).
    void release() {
        std::lock_guard<std::mutex> lock(heldMutex_);
        for (const auto& line : held_) printLine(line);
        held_.clear();
    }
    void setControlsEnabled(bool) override {}
    void setUnreadableFolders(const std::vector<std::string>& paths) override {
        for (const auto& path : paths) say("一覧を取得できなかったフォルダ: " + path);
    }

    // One whole line at a time, from any thread.
    static void printLine(const std::string& text) {
        if (text.empty()) return;
        std::string shown = escapeControls(text) + "\n";
        static std::mutex mutex;
        std::lock_guard<std::mutex> lock(mutex);
        std::fputs(shown.c_str(), stderr);
        std::fflush(stderr);
    }

    // "\x1b" for ESC and the like; the text is otherwise unchanged.
    static std::string escapeControls(const std::string& text) {
        static const char hex[] = "0123456789abcdef";
        std::string out;
        for (char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7f) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        return out;
    }

private:
    const bool quiet_;
    std::mutex heldMutex_;
    std::vector<std::string> held_;
};
