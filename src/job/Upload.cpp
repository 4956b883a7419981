#include "job/Upload.h"

#include "remote/RemoteSession.h"
#include "util/Utf8Path.h"

namespace upload {

Verdict judge(long pages, std::optional<long> lastCompletedPages, bool allowShrink) {
    if (pages == 0) return Verdict::NoPages;
    if (!lastCompletedPages || pages * 2 >= *lastCompletedPages || allowShrink) return Verdict::Go;
    return Verdict::Shrunk;
}

Failure put(RemoteSession& session, const std::vector<std::string>& files, const std::function<bool()>& stopped) {
    for (const auto& local : files) {
        const std::string name = pathToUtf8(utf8Path(local).filename());
        const bool compressed = name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
        const int mode = compressed ? 1 : 2;  // see RemoteSession::putFile
        if (stopped() || session.putFile(local, name, mode) != 1)
            return {FailureKind::UploadFailed, session.lastError(), {}};
    }
    return {};
}

}  // namespace upload
