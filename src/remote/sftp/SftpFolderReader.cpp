#include "remote/sftp/SftpFolderReader.h"

#include "remote/sftp/SftpNames.h"

namespace {

using C = SftpConnection;

constexpr int kReadsPerFolder = 2;

struct Folder {
    uint32_t realpath = 0, opendir = 0;
    std::string handle;
    std::vector<uint32_t> reads;  // directory reads in flight
    bool open = false, done = false;
};

}  // namespace

int SftpFolderReader::connect(const std::string& hostText, const std::string& account, const std::string& password) {
    auto host = RemoteHost::parse(hostText);
    if (!host || host->security != RemoteHost::Security::Sftp) return 0;
    return connection_.connect(*host, account, password);
}

size_t SftpFolderReader::read(const std::vector<std::string>& paths, std::vector<FolderReading>& results, bool) {
    results.assign(paths.size(), FolderReading{});
    std::vector<Folder> folders(paths.size());
    C::Transfer limits(connection_);
    for (size_t i = 0; i < paths.size(); ++i) {
        results[i].path = paths[i];
        folders[i].realpath = connection_.send(C::kRealpath, ssh_wire::stringPayload(paths[i]), "REALPATH " + paths[i]);
        folders[i].opendir = connection_.send(C::kOpendir, ssh_wire::stringPayload(paths[i]), "OPENDIR " + paths[i]);
    }
    // The first folder not answered in full, when the connection goes.
    auto brokeAt = [&] {
        for (size_t i = 0; i < folders.size(); ++i)
            if (!folders[i].done) return i;
        return folders.size();
    };
    C::Reply reply;
    size_t kept = 0;  // by the batch's listings
    for (size_t i = 0; i < paths.size(); ++i) {
        Folder& folder = folders[i];
        if (!connection_.reply(folder.realpath, reply)) return brokeAt();
        const std::string canonical = sftp_names::absolutePath(reply);
        if (!canonical.empty()) results[i].path = canonical;
        if (!connection_.reply(folder.opendir, reply)) return brokeAt();
        size_t at = 0;
        folder.open = reply.type == C::kHandle && ssh_wire::getString(reply.body, at, folder.handle);
        folder.done = !folder.open;  // not a folder, or not ours to read
        results[i].entered = folder.open;
    }
    // Reads for every open folder, a few at a time each, until all are at
    // their end.
    for (bool pending = true; pending;) {
        pending = false;
        for (auto& folder : folders) {
            if (folder.done) continue;
            for (int n = 0; n < kReadsPerFolder; ++n)
                folder.reads.push_back(connection_.send(C::kReaddir, ssh_wire::stringPayload(folder.handle), ""));
        }
        for (size_t i = 0; i < folders.size(); ++i) {
            Folder& folder = folders[i];
            for (uint32_t id : folder.reads) {
                if (!connection_.reply(id, reply)) return brokeAt();
                if (folder.done) continue;
                NameList& names = results[i].names;
                const auto read = sftp_names::takeDirectoryReply(reply, names, kept);
                if (read == sftp_names::DirectoryRead::Cut || read == sftp_names::DirectoryRead::TooLarge) {
                    // A batch keeps no more than one listing may: the folder
                    // that passes it is read on its own another way.
                    for (const auto& entry : names) kept -= keptBytes(entry);
                    names.clear();
                    names.shrink_to_fit();
                    folder.done = results[i].odd = true;
                } else if (read != sftp_names::DirectoryRead::More) {
                    // The end, or a read that failed: the latter is read again
                    // another way.
                    folder.done = true;
                    results[i].odd = read == sftp_names::DirectoryRead::Failed;
                }
            }
            folder.reads.clear();
            if (!folder.done) pending = true;
        }
    }
    for (auto& folder : folders)
        if (folder.open) connection_.forget(connection_.send(C::kClose, ssh_wire::stringPayload(folder.handle), ""));
    for (size_t i = 0; i < results.size(); ++i)
        if (results[i].odd) results[i].names.clear();
    return paths.size();
}
