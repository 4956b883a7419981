#pragma once

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "job/JobObserver.h"

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

    // "\x1b" for ESC and the like; the text is otherwise unchanged. The C1
    // controls count too, raw (0x9b alone is CSI on many terminals) or as
    // UTF-8 (U+0080 to U+009F), and so does any byte that is not part of a
    // whole UTF-8 character.
    static std::string escapeControls(const std::string& text) {
        static const char hex[] = "0123456789abcdef";
        std::string out;
        auto escape = [&](unsigned char c) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        };
        for (size_t i = 0; i < text.size();) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20 || c == 0x7f) {
                escape(c);
                ++i;
                continue;
            }
            const size_t length = c < 0x80 ? 1 : utf8Length(text, i);
            const bool c1 = length == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0;
            if (length == 0 || c1) {
                for (size_t k = 0; k < std::max<size_t>(length, 1); ++k) escape(static_cast<unsigned char>(text[i + k]));
                i += std::max<size_t>(length, 1);
                continue;
            }
            out.append(text, i, length);
            i += length;
        }
        return out;
    }

    // The length of the whole UTF-8 character at i, or 0 when there is none.
    static size_t utf8Length(const std::string& text, size_t i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) return 0;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return 0;
        return length;
    }

private:
    const bool quiet_;
    std::mutex heldMutex_;
    std::vector<std::string> held_;
};
