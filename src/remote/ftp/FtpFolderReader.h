#pragma once

#include "remote/FolderReader.h"
#include "remote/ftp/FtpControl.h"

// The fast walk's reader over FTP: folders probed on the control
// connection (see FolderProbe). The server is asked for identities (MLST
// facts) on the first read of each login.
class FtpFolderReader : public FolderReader {
public:
    explicit FtpFolderReader(LoginOptions options) { control_.setOptions(std::move(options)); }

    int connect(const std::string& host, const std::string& account, const std::string& password) override;
    const std::string& entryPath() const override { return control_.entryPath(); }
    size_t read(const std::vector<std::string>& paths, std::vector<FolderReading>& results,
                bool wantIdentities) override;
    bool outOfStep() const override { return outOfStep_; }
    FailureKind loginFailure() const override { return control_.loginFailure(); }
    const std::string& loginError() const override { return control_.loginError(); }

private:
    FtpControl control_;
    bool outOfStep_ = false;
    bool firstRead_ = true;  // of this login
};
