#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "job/JobObserver.h"

// Records everything a job reports, in order, as "status:…", "progress:…",
// "message:…", "controls:1".
class RecordingObserver : public JobObserver {
public:
    void setStatus(const std::string& text) override { add("status:" + text); }
    void setProgress(const std::string& text) override { add("progress:" + text); }
    void showMessage(const std::string& text) override { add("message:" + text); }
    void setControlsEnabled(bool enabled) override { add(enabled ? "controls:1" : "controls:0"); }
    // Recorded as "question:…"; answered with answer.
    bool askYesNo(const std::string& question) override {
        add("question:" + question);
        return answer;
    }
    bool answer = false;

    std::vector<std::string> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }
    // The events of one kind ("status", "message", ...), texts only.
    std::vector<std::string> of(const std::string& kind) const {
        std::vector<std::string> texts;
        for (const auto& e : events())
            if (e.rfind(kind + ":", 0) == 0) texts.push_back(e.substr(kind.size() + 1));
        return texts;
    }

    // The first line of each message: what failed (the lines after it say
    // why, and what to do).
    std::vector<std::string> headlines() const {
        std::vector<std::string> lines;
        for (const auto& text : of("message")) lines.push_back(text.substr(0, text.find('\n')));
        return lines;
    }

private:
    void add(std::string event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};
