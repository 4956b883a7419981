#include "remote/ftp/FolderProbe.h"

#include "remote/ftp/FtpControl.h"
#include "remote/ftp/ListingParser.h"

namespace {

bool isStatListing(const FtpControl::Reply& reply) { return reply.code >= 211 && reply.code <= 213; }

}  // namespace

size_t FolderProbe::probe(const std::vector<std::string>& paths, std::vector<Result>& results, bool identitiesFirst) {
    std::vector<std::string> commands;
    if (identitiesFirst) commands.push_back("OPTS MLST type;unique;");
    for (const auto& path : paths) {
        commands.push_back("CWD " + path);
        commands.push_back("PWD");
        if (useMlst_) commands.push_back("MLST");
        commands.push_back("STAT .");  // "." never holds wildcards a server would expand
    }
    commands.push_back("NOOP");
    results.assign(paths.size(), Result{});
    if (!control_.send(commands)) return 0;
    size_t kept = 0;  // by the batch's listings so far
    FtpControl::Reply options;  // servers without MLST refuse it; that is fine
    if (identitiesFirst && !control_.readReply(options)) return 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        FtpControl::Reply cwd, pwd, mlst, stat;
        if (!control_.readReply(cwd) || !control_.readReply(pwd)) return i;
        if (useMlst_ && !control_.readReply(mlst)) return i;
        if (!control_.readReply(stat)) return i;
        bool fits = cwd.code != 0 && (cwd.code >= 400 || cwd.code < 200 || pwd.code == 257) &&
                    (isStatListing(stat) || stat.code >= 400) && (!useMlst_ || mlst.code == 250 || mlst.code >= 400);
        Result& result = results[i];
        if (!fits || cwd.code < 200) {
            // A preliminary reply's final one is still to come: the replies
            // after it are out of step too. That folder is read another way.
            result.entered = result.odd = cwd.code != 0 && cwd.code < 200;
            outOfStep_ = true;
            return i;
        }
        result.entered = cwd.code < 300;
        // Refused with a 0xFF byte in the path: the server may want that
        // byte as it is rather than doubled; the folder walk finds out.
        if (!result.entered) {
            result.odd = paths[i].find('\xff') != std::string::npos;
            continue;
        }
        auto reported = pwd.lines.empty() ? std::nullopt : listing::usablePathFromPwdReply(pwd.lines.front());
        result.path = reported.value_or(paths[i]);
        result.id = mlst.code == 250 ? listing::mlstUniqueId(mlst.lines) : std::string();
        size_t bytes = 0;
        for (const auto& line : stat.lines) bytes += line.size();
        // A batch keeps no more than one listing may: the folder that would
        // pass that is read on its own another way.
        const size_t atMost = keptBytesAtMost(stat.lines.size(), bytes);
        if (kept + atMost > kMaxKeptListingBytes) {
            result.odd = true;
            continue;
        }
        size_t unreadable = isStatListing(stat) ? listing::parseStatReply(stat.lines, result.names) : 0;
        for (const auto& entry : result.names) kept += keptBytes(entry);
        result.odd = !isStatListing(stat) || (result.names.empty() && unreadable > 0);
    }
    FtpControl::Reply noop;
    if (!control_.readReply(noop)) return paths.empty() ? 0 : paths.size() - 1;  // the last may be incomplete
    if (noop.code != 200) {
        outOfStep_ = true;
        return 0;
    }
    return paths.size();
}
