#include "verify/SiteCheck.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "sitemap/RobotsRules.h"
#include "util/Ascii.h"

namespace {

// One request in flight.
struct Request {
    size_t index = 0;  // of the address; robots.txt: SIZE_MAX
    std::string url;
    HttpAnswer answer;
    bool headEnded = false;  // the body was read as far as needed
    size_t received = 0;     // bytes of the body, kept or not
    long httpVersion = 0;    // CURL_HTTP_VERSION_* the answer came in
    CURL* handle = nullptr;
    char error[CURL_ERROR_SIZE] = {};
};

constexpr size_t kRobots = static_cast<size_t>(-1);

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* request = static_cast<Request*>(user);
    const std::string_view line(data, size * count);
    HttpAnswer& answer = request->answer;
    if (line.rfind("HTTP/", 0) == 0) {  // a new answer (after a 100 Continue, say)
        answer = HttpAnswer{};
        return size * count;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return size * count;
    const std::string name = lowerAscii(trimmedAscii(line.substr(0, colon)));
    const std::string value(trimmedAscii(line.substr(colon + 1)));
    if (name == "content-type") answer.contentType = value;
    else if (name == "location") answer.location = value;
    else if (name == "x-robots-tag") answer.robotsTags.push_back(value);
    else if (name == "link") answer.links.push_back(value);
    return size * count;
}

// Keeps an HTML page as far as the end of its head; anything else as far
// as the bound (robots.txt needs all of its first 500 KB). What follows is
// not needed: over HTTP/2 the stream is ended at once; over HTTP/1 it is
// read and dropped up to the bound, since ending it would close the
// connection and the next request would wait for a new one.
size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* request = static_cast<Request*>(user);
    std::string& body = request->answer.body;
    const size_t limit = request->index == kRobots ? RobotsRules::kMaxBytes : SiteCheck::kMaxBodyBytes;
    request->received += size * count;
    if (!request->headEnded) {
        const size_t before = body.size();
        body.append(data, std::min(size * count, limit - std::min(limit, before)));
        const size_t from = before > 7 ? before - 7 : 0;  // "</head>" may straddle two pieces
        if (request->index != kRobots &&
            lowerAscii(std::string_view(body).substr(from)).find("</head>") != std::string::npos)
            request->headEnded = true;
        if (body.size() >= limit) request->headEnded = true;
    }
    if (!request->headEnded) return size * count;
    long version = 0;
    curl_easy_getinfo(request->handle, CURLINFO_HTTP_VERSION, &version);
    const bool dropRest = version < CURL_HTTP_VERSION_2_0 && request->received <= limit;
    return dropRest ? size * count : 0;  // 0 ends the transfer
}

bool endsWithAny(const std::string& address, const std::vector<std::string>& extensions) {
    const std::string lower = lowerAscii(address.substr(0, address.find('?')));
    for (const auto& extension : extensions)
        if (!extension.empty() && lower.ends_with(lowerAscii(extension))) return true;
    return false;
}

// "scheme://host[:port]" of an address, and the path (with its query) below it.
std::string originOf(const std::string& address) {
    const size_t scheme = address.find("://");
    if (scheme == std::string::npos) return {};
    const size_t path = address.find_first_of("/?#", scheme + 3);
    return address.substr(0, path);
}

class Checker {
public:
    explicit Checker(const SiteCheckOptions& options) : options_(options), multi_(curl_multi_init()) {
        curl_multi_setopt(multi_, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
        curl_multi_setopt(multi_, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(options.inFlight));
    }
    ~Checker() {
        for (auto& [handle, request] : running_) {
            curl_multi_remove_handle(multi_, handle);
            curl_easy_cleanup(handle);
        }
        curl_multi_cleanup(multi_);
    }

    // Asks for the address of every index (urlOf), at most inFlight at
    // once; a request is made only as it starts, so that a long list costs
    // an index each. done is called with each as it ends. False when
    // stopped, or when done says so.
    bool runAll(const std::vector<size_t>& indices, const std::function<std::string(size_t)>& urlOf,
                const std::function<bool(Request&)>& done) {
        const size_t room = static_cast<size_t>(std::max(1, options_.inFlight));
        size_t next = 0;
        while (next < indices.size() || !running_.empty()) {
            if (options_.stop && options_.stop->load()) return false;
            for (; next < indices.size() && running_.size() < room; ++next) {
                auto request = std::make_unique<Request>();
                request->index = indices[next];
                request->url = urlOf(indices[next]);
                start(std::move(request));
            }
            int active = 0;
            curl_multi_perform(multi_, &active);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
                if (message->msg != CURLMSG_DONE) continue;
                CURL* handle = message->easy_handle;
                auto found = std::find_if(running_.begin(), running_.end(), [&](auto& r) { return r.first == handle; });
                const std::unique_ptr<Request> owned = std::move(found->second);
                Request& request = *owned;
                running_.erase(found);
                long status = 0;
                curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
                curl_easy_getinfo(handle, CURLINFO_HTTP_VERSION, &request.httpVersion);
                const bool whole = message->data.result == CURLE_OK ||
                                   (message->data.result == CURLE_WRITE_ERROR && request.headEnded);
                request.answer.status = whole ? status : 0;
                if (!whole) request.answer.body = request.error[0] ? request.error : curl_easy_strerror(message->data.result);
                curl_multi_remove_handle(multi_, handle);
                curl_easy_cleanup(handle);
                if (!done(request)) return false;
            }
            // A request that ended leaves room for the next at once; else
            // wait for the network.
            if (!running_.empty() && (next == indices.size() || running_.size() >= room))
                curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
        }
        return true;
    }

    void setMultiplexed(bool multiplexed) { multiplexed_ = multiplexed; }

private:
    void start(std::unique_ptr<Request> owned) {
        CURL* handle = curl_easy_init();
        curl_easy_setopt(handle, CURLOPT_URL, owned->url.c_str());
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
        // Where the site speaks HTTP/2 a request waits for the connection
        // there is rather than open another; over HTTP/1 it must not.
        curl_easy_setopt(handle, CURLOPT_PIPEWAIT, multiplexed_ ? 1L : 0L);
        owned->handle = handle;
        curl_easy_setopt(handle, CURLOPT_USERAGENT, options_.userAgent.c_str());
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, std::min(30L, options_.timeoutSeconds));
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, options_.timeoutSeconds);
        curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
        if (!options_.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, options_.caFile.c_str());
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, owned->error);
        curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, owned.get());
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, owned.get());
        curl_multi_add_handle(multi_, handle);
        running_.emplace_back(handle, std::move(owned));
    }

    const SiteCheckOptions& options_;
    CURLM* multi_;
    bool multiplexed_ = false;  // the site answered in HTTP/2: requests share its connection
    std::vector<std::pair<CURL*, std::unique_ptr<Request>>> running_;
};

std::string answerText(const Request& request) {
    if (request.answer.status == 0) return request.url + ": " + request.answer.body;
    return request.url + ": HTTP " + std::to_string(request.answer.status);
}

// Answers that say the address is not this site's page at all.
bool wrongPlaceAnswer(long status) { return status == 404 || status == 410 || status == 401 || status == 0; }

}  // namespace

SiteCheck SiteCheck::run(const std::vector<std::string>& addresses, const SiteCheckOptions& options) {
    SiteCheck check;
    check.verdicts.assign(addresses.size(), PageVerdict{});
    check.statuses.assign(addresses.size(), 0);
    check.answered.assign(addresses.size(), 0);
    if (addresses.empty()) return check;
    for (size_t i = 0; options.softwarePart && i < addresses.size(); ++i)
        if (std::string part = options.softwarePart(addresses[i]); !part.empty())
            check.verdicts[i] = {PageOutcome::WordPressCode, std::move(part), false};
    Checker checker(options);

    // robots.txt on the host's root, as search engines read it.
    std::optional<RobotsRules> robots;
    {
        const std::string robotsUrl = originOf(addresses.front()) + "/robots.txt";
        Request answer;
        if (!checker.runAll({kRobots}, [&](size_t) { return robotsUrl; },
                            [&](Request& r) { return answer = std::move(r), true; })) {
            check.end = End::Stopped;
            return check;
        }
        const long status = answer.answer.status;
        checker.setMultiplexed(answer.httpVersion >= CURL_HTTP_VERSION_2_0);
        if (status >= 200 && status < 300) robots = RobotsRules::parse(answer.answer.body, options.robotsAgent);
        else if (status >= 500 || status == 0)
            check.robotsProblem = answerText(answer);  // RFC 9309: unreachable means nothing may be asked
    }
    if (!check.robotsProblem.empty()) return check;  // every address kept, unconfirmed

    std::vector<size_t> queue;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string& address = addresses[i];
        if (check.verdicts[i].outcome == PageOutcome::WordPressCode) continue;
        const std::string path = address.substr(originOf(address).size());
        if (robots && !robots->allows(path.empty() ? "/" : path)) {
            check.verdicts[i] = {PageOutcome::Disallowed, {}, false};
            continue;
        }
        queue.push_back(i);
    }
    const size_t asked = queue.size();
    size_t answered = 0, wrongPlace = 0;
    std::string firstAnswer;
    std::vector<size_t> again;
    const auto urlOf = [&](size_t i) { return addresses[i]; };
    const bool whole = checker.runAll(queue, urlOf, [&](Request& request) {
        const size_t i = request.index;
        check.statuses[i] = request.answer.status;
        check.answered[i] = 1;
        check.verdicts[i] = PageVerdict::of(addresses[i], request.answer, endsWithAny(addresses[i], options.fileExtensions));
        if (check.verdicts[i].askAgain) again.push_back(i);
        if (firstAnswer.empty()) firstAnswer = answerText(request);
        ++answered;
        if (answered <= kFirstAnswers && wrongPlaceAnswer(request.answer.status)) ++wrongPlace;
        if (options.progress) options.progress(answered, asked);
        // Most of the first answers say these are not the site's pages:
        // the http path and the target folder do not meet.
        if (answered == std::min(kFirstAnswers, asked) && wrongPlace * 2 > answered) {
            check.end = End::WrongPlace;
            check.reason = firstAnswer;
            return false;
        }
        return true;
    });
    if (check.end == End::WrongPlace) return check;
    if (!whole) {
        check.end = End::Stopped;
        return check;
    }
    // Empty 5xx answers once more, after the others.
    if (!checker.runAll(again, urlOf, [&](Request& request) {
            request.answer.secondTry = true;
            check.statuses[request.index] = request.answer.status;
            check.verdicts[request.index] = PageVerdict::of(addresses[request.index], request.answer,
                                                            endsWithAny(addresses[request.index], options.fileExtensions));
            return true;
        })) {
        check.end = End::Stopped;
        return check;
    }
    const size_t broken = static_cast<size_t>(std::count_if(check.statuses.begin(), check.statuses.end(),
                                                            [](long status) { return status >= 500; }));
    if (asked > 0 && broken * 2 > asked) {
        check.end = End::SiteDown;
        check.reason = firstAnswer;
    }
    return check;
}
