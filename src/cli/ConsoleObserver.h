#pragma once

#include <cstdio>

#include "sitemap/JobObserver.h"

// Reports a job on standard error, one line per text, UTF-8. Messages never
// wait for an answer: there is nobody to press OK.
class ConsoleObserver : public JobObserver {
public:
    void setStatus(const std::string& text) override { print(text); }
    void setProgress(const std::string& text) override { print(text); }
    void showMessage(const std::string& text) override { print(text); }
    void setControlsEnabled(bool) override {}

private:
    static void print(const std::string& text) {
        if (text.empty()) return;
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
};
