#include "ftp/FtpOptions.h"

#include <curl/curl.h>

#include "ftp/ListingParser.h"

#include "util/Lines.h"

namespace {


// Commands go out as header data, replies come in as header data: each
// chunk is one or more whole lines.
int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
    const auto* options = static_cast<const FtpOptions*>(user);
    for (const auto& line : splitLines(std::string_view(data, size))) {
        if (!line.empty())
            options->trace((type == CURLINFO_HEADER_OUT ? "> " : "< ") +
                           (type == CURLINFO_HEADER_OUT ? ftp_options::masked(line) : line));
    }
    return 0;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* options = static_cast<const FtpOptions*>(user);
    return options->cancel && options->cancel->load() ? 1 : 0;
}

}  // namespace

namespace ftp_options {

std::string masked(const std::string& command) {
    if (command.size() >= 5 && (command.compare(0, 5, "PASS ") == 0 || command.compare(0, 5, "pass ") == 0))
        return "PASS ****";
    return command;
}

bool applyLogin(CURL* curl, const std::string& account, const std::string& password, const FtpOptions& options) {
    if (!listing::fitsInCommand(account) || !listing::fitsInCommand(password)) return false;
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERNAME, account.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, options.stallTimeoutSeconds);
    if (options.trace) {
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &onDebug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &options);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    }
    if (options.cancel) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &options);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    return true;
}

}  // namespace ftp_options
