#pragma once

#include "remote/FolderReader.h"
#include "remote/sftp/SftpConnection.h"

// The fast walk's reader over SFTP: for a batch of folders, every REALPATH
// and OPENDIR in one round trip, then the directory reads of all of them
// at once (two per folder in flight, more for folders that go on), so a
// batch costs about two round trips whatever its size.
class SftpFolderReader : public FolderReader {
public:
    explicit SftpFolderReader(LoginOptions options) { connection_.setOptions(std::move(options)); }

    int connect(const std::string& host, const std::string& account, const std::string& password) override;
    const std::string& entryPath() const override { return connection_.loginFolder(); }
    size_t read(const std::vector<std::string>& paths, std::vector<FolderReading>& results,
                bool wantIdentities) override;
    bool outOfStep() const override { return false; }  // replies are matched by their ids
    // The folder walk would read it the same way.
    std::string overdue() const override { return connection_.timedOut() ? connection_.lastError() : std::string(); }
    FailureKind loginFailure() const override { return connection_.loginFailure(); }
    const std::string& loginError() const override { return connection_.lastError(); }
    std::string alternativeTarget(const std::string& folder) const override { return connection_.belowLogin(folder); }

private:
    SftpConnection connection_;
};
