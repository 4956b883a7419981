// quillomar-cli: the generation of the desktop program without its dialog,
// for scheduled runs.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "cli/CliOptions.h"
#include "cli/ConsoleObserver.h"
#include "remote/Network.h"
#include "settings/SettingsFile.h"
#include "job/SitemapJob.h"
#include "verify/SiteCheck.h"
#include "util/Utf8Path.h"

#ifndef QUILLOMAR_VERSION
#define QUILLOMAR_VERSION "0"
#endif

namespace {

// Ctrl+C and SIGTERM stop the job as the stop button does. A handler may
// only set flags: the job's, reached through this pointer, and which
// signal it was, for the exit code.
std::atomic<bool>* stopFlag = nullptr;
std::atomic<int> stopSignal{0};

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    stopSignal = SIGINT;
    if (stopFlag) stopFlag->store(true);
    return TRUE;
}
#else
extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
    if (stopFlag) stopFlag->store(true);
}
#endif

void catchStopSignals(std::atomic<bool>& flag) {
    stopFlag = &flag;
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

// The one line that ends a completed run.
void printSummary(ConsoleObserver& console, const SitemapJob& job, const SitemapOptions& options) {
    const WalkStats& stats = job.walkStats();
    char line[512];
    std::snprintf(line, sizeof line,
                  "summary: %ld pages, %ld folders, %ld left out by robots.txt, %ld left out by patterns, "
                  "%d unreadable folders, %.2f s%s",
                  stats.pages, stats.foldersListed, stats.excludedByRobots, stats.excludedByPattern,
                  stats.missedFolders(), job.elapsedSeconds(),
                  options.robots && job.robots() == SitemapJob::Robots::Missing
                      ? " (no robots.txt could be read: nothing left out for it)"
                      : "");
    console.say(line);
    if (const SiteCheck* check = job.siteCheck()) {
        const size_t unconfirmed = check->count(PageOutcome::Unconfirmed);
        std::snprintf(line, sizeof line, "check: %zu kept (%zu unconfirmed), %zu left out; report: %s",
                      check->count(PageOutcome::Kept) + unconfirmed, unconfirmed,
                      check->verdicts.size() - check->count(PageOutcome::Kept) - unconfirmed,
                      job.checkReportFile().c_str());
        console.say(line);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
#endif
    std::string error;
    auto options = CliOptions::parse(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "quillomar-cli: %s\nTry 'quillomar-cli --help'.\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(CliOptions::usage(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("quillomar-cli %s\nCopyright (c) 2026 The Quillomar developers\nLicense: MIT\n", QUILLOMAR_VERSION);
        return 0;
    }

    // As the dialog does: load, save back (a flag shows as a ticked or clear
    // box, so it is saved as "1" or "0"), then check.
    SettingsFile settingsFile;
    const std::string here = currentFolderUtf8();
    if (here.empty() && !options->settingsFile) {
        std::fprintf(stderr, "quillomar-cli: the current folder cannot be read (was it deleted?)\n");
        return 2;
    }
    settingsFile.setPath(options->settingsFile.value_or(SettingsFile::pathIn(here)));
    JobSettings settings;
    std::string unreadable;
    if (!settingsFile.load(settings, &unreadable)) {
        // Saving back what could not be read would erase it.
        std::fprintf(stderr, "quillomar-cli: %s; it was left as it is\n", unreadable.c_str());
        return 2;
    }
    settings.mobileFlag = SettingsFile::flagTicked(settings.mobileFlag) ? "1" : "0";
    settings.uploadFlag = SettingsFile::flagTicked(settings.uploadFlag) ? "1" : "0";
    std::string notSaved;
    if (!settingsFile.save(settings, &notSaved)) {
        ConsoleObserver().showMessage(settingsFile.notSavedMessage());
        std::fprintf(stderr, "quillomar-cli: %s\n", notSaved.c_str());
    } else if (!settingsFile.notice().empty()) {
        ConsoleObserver::printLine(SettingsFile::kNowUtf8);
    }

    settingsFile.prepareRun(settings);
    if (!options->applyTo(settings, error)) {
        std::fprintf(stderr, "quillomar-cli: %s\n", error.c_str());
        return 2;
    }
    std::string missing = missingValueMessage(settings);
    if (!missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 2;
    }

    if (!initNetwork()) {
        std::fprintf(stderr, "quillomar-cli: the network layer could not be started\n");
        return 1;
    }
    ConsoleObserver observer(options->quiet);
    SitemapJob job(settings, observer);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    job.setStopFlag(stop);
    catchStopSignals(*stop);
    if (options->verbose) job.setTrace(&ConsoleObserver::printLine);
    SitemapJob::Outcome outcome = SitemapJob::Outcome::Failed;
    // On a thread of its own, as in the dialog: the job's threading rules
    // (messages block the job's thread) are the same for every front end.
    std::thread worker([&] { outcome = job.run(); });
    worker.join();
    const WalkStats& stats = job.walkStats();
    if (options->verbose) {
        if (stats.connections == 0)
            std::fprintf(stderr, "walk: folder by folder on one connection\n");
        else
            std::fprintf(stderr, "walk: %d connections, %ld folders asked for in %d round trips, %d read one by one\n",
                         stats.connections, stats.folders, stats.roundTrips, stats.fallbackFolders);
    }
    if (outcome != SitemapJob::Outcome::Completed) {
        observer.release();
        // Stopped by a signal: the shell's convention, 128 and its number.
        if (job.failure().kind == FailureKind::Stopped) return stopSignal == SIGTERM ? 143 : 130;
        // The message (with the server's words) is out; what only the
        // command line can do about it follows.
        if (job.failure().kind == FailureKind::HostKeyUnknown)
            ConsoleObserver::printLine("to trust it: --trust-host-key " + job.failure().detail);
        if (job.failure().kind == FailureKind::Shrunk)
            ConsoleObserver::printLine("to upload it anyway: --allow-shrink");
        if (job.siteCheck()) ConsoleObserver::printLine("report: " + job.checkReportFile());
        return 1;
    }
    printSummary(observer, job, settings.sitemap);
    if (stats.missedFolders() > 0 && !options->allowPartial) {
        observer.release();
        std::fprintf(stderr, "quillomar-cli: sitemap.xml may lack pages of %d folders "
                             "(--allow-partial accepts that)\n", stats.missedFolders());
        return 1;
    }
    return 0;
}
