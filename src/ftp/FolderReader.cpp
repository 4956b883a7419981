#include "ftp/FolderReader.h"

#include "ftp/FtpControl.h"
#include "ftp/FtpHost.h"
#include "ftp/SftpFolderReader.h"

namespace {

// Over FTP: folders probed on the control connection.
class FtpFolderReader : public FolderReader {
public:
    explicit FtpFolderReader(FtpOptions options) { control_.setOptions(std::move(options)); }

    int connect(const std::string& host, const std::string& account, const std::string& password) override {
        return control_.connect(host, account, password);
    }
    const std::string& entryPath() const override { return control_.entryPath(); }
    size_t read(const std::vector<std::string>& paths, std::vector<Result>& results, bool identitiesFirst,
                bool useMlst) override {
        FolderProbe prober(control_, useMlst);
        const size_t answered = prober.probe(paths, results, identitiesFirst);
        outOfStep_ = outOfStep_ || prober.outOfStep();
        return answered;
    }
    bool outOfStep() const override { return outOfStep_; }
    FailureKind loginFailure() const override { return control_.loginFailure(); }
    const std::string& loginError() const override { return control_.loginError(); }

private:
    FtpControl control_;
    bool outOfStep_ = false;
};

}  // namespace

std::unique_ptr<FolderReader> FolderReader::forHost(const std::string& hostText, FtpOptions options) {
    auto host = FtpHost::parse(hostText);
    if (host && host->security == FtpHost::Security::Sftp) return std::make_unique<SftpFolderReader>(std::move(options));
    return std::make_unique<FtpFolderReader>(std::move(options));
}
