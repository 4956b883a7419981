#include "remote/ftp/FtpFolderReader.h"

#include "remote/ftp/FolderProbe.h"

int FtpFolderReader::connect(const std::string& host, const std::string& account, const std::string& password) {
    firstRead_ = true;
    return control_.connect(host, account, password);
}

size_t FtpFolderReader::read(const std::vector<std::string>& paths, std::vector<FolderReading>& results,
                             bool wantIdentities) {
    FolderProbe prober(control_, wantIdentities);
    const size_t answered = prober.probe(paths, results, firstRead_);
    firstRead_ = false;
    outOfStep_ = outOfStep_ || prober.outOfStep();
    return answered;
}
