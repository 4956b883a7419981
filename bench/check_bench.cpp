// Checks a list of addresses on a live site the way a generation does
// (SiteCheck) and prints how long that took, what came of it and the
// process's peak memory, for bench/check_bench.py.
//
//     quillomar-check-bench [--in-flight N] [--ca FILE] < addresses
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "remote/Network.h"
#include "verify/SiteCheck.h"

int main(int argc, char** argv) {
    SiteCheckOptions options;
    options.userAgent = "Quillomar/bench";
    options.robotsAgent = "Quillomar";
    for (int i = 1; i < argc; i += 2) {
        const std::string flag = argv[i];
        if (i + 1 < argc && flag == "--in-flight") options.inFlight = std::atoi(argv[i + 1]);
        else if (i + 1 < argc && flag == "--ca") options.caFile = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: quillomar-check-bench [--in-flight N] [--ca FILE] < addresses\n");
            return 2;
        }
    }
    std::vector<std::string> addresses;
    for (std::string line; std::getline(std::cin, line);)
        if (!line.empty()) addresses.push_back(line);
    initNetwork();
    const auto start = std::chrono::steady_clock::now();
    const SiteCheck check = SiteCheck::run(addresses, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    size_t answered = 0;
    for (char a : check.answered) answered += a ? 1 : 0;
    std::printf("addresses %zu answered %zu kept %zu seconds %.3f peak_rss_mb %.1f\n", addresses.size(), answered,
                check.count(PageOutcome::Kept), seconds, static_cast<double>(usage.ru_maxrss) / 1024.0);
    return check.end == SiteCheck::End::Done ? 0 : 1;
}
