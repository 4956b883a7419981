#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "verify/PageVerdict.h"

struct SiteCheckOptions {
    int inFlight = 8;            // requests at once (HTTP/2: on one connection)
    long timeoutSeconds = 30;    // one request, whole
    std::string caFile;          // certificates trusted (PEM), as for FTPS; empty: the system's
    std::string userAgent;       // "Quillomar/1.2.3"
    std::string robotsAgent;     // the name robots.txt groups are matched with
    // Extensions the user added that no web page has (".pdf"): kept
    // whatever their type.
    std::vector<std::string> fileExtensions;
    const std::atomic<bool>* stop = nullptr;
    // The part of the site's software an address belongs to (WordPress's
    // own code), or empty: such addresses are left out without a request.
    std::function<std::string(const std::string& address)> softwarePart;
    // Called now and then on the checking thread: addresses answered, of all.
    std::function<void(size_t done, size_t total)> progress;
};

// Every address of a sitemap asked for on the live site, with GET only and
// once each (twice for an empty 5xx), after the site's robots.txt: what
// each answer makes of it (see PageVerdict), and whether the answers as a
// whole can be trusted at all.
struct SiteCheck {
    enum class End {
        Done,
        WrongPlace,  // most of the first answers were 404, or no answer or a password: not this site
        SiteDown,    // most answers were 5xx
        Stopped,
    };
    End end = End::Done;
    // Why it ended as it did (WrongPlace, SiteDown): the first address
    // asked and its answer, or the host and port that could not be reached.
    std::string reason;
    std::vector<PageVerdict> verdicts;  // one per address, in their order
    std::vector<long> statuses;         // the answers' status codes; 0 for none
    std::vector<char> answered;         // asked and answered (or not answering) before the end
    // Empty when robots.txt was read (or is missing); else why nothing was
    // asked and every address is kept unconfirmed.
    std::string robotsProblem;

    size_t count(PageOutcome outcome) const {
        size_t n = 0;
        for (const auto& verdict : verdicts) n += verdict.outcome == outcome ? 1 : 0;
        return n;
    }

    static SiteCheck run(const std::vector<std::string>& addresses, const SiteCheckOptions& options);

    // How many of the first answers are looked at before trusting the rest.
    static constexpr size_t kFirstAnswers = 20;
    // How much of an HTML page is read: its head, at most this.
    static constexpr size_t kMaxBodyBytes = 256 << 10;
};
