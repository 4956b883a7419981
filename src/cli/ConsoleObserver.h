#pragma once

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>

#include "sitemap/JobObserver.h"

// Reports a job on standard error, one line per text, UTF-8. Messages never
// wait for an answer: there is nobody to press OK.
// Control bytes (a folder named with ESC could retitle or clear the
// terminal) are printed escaped.
class ConsoleObserver : public JobObserver {
public:
    void setStatus(const std::string& text) override { printLine(text); }
    void setProgress(const std::string& text) override { printLine(text); }
    // A message's lines one by one: what failed, why, the server's words.
    void showMessage(const std::string& text) override {
        for (size_t start = 0; start <= text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            printLine(text.substr(start, end - start));
            start = end + 1;
        }
    }
    void setControlsEnabled(bool) override {}

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
};
