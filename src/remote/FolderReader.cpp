#include "remote/FolderReader.h"

#include "remote/RemoteHost.h"
#include "remote/ftp/FtpFolderReader.h"
#include "remote/sftp/SftpFolderReader.h"

std::unique_ptr<FolderReader> FolderReader::forHost(const std::string& hostText, LoginOptions options) {
    auto host = RemoteHost::parse(hostText);
    if (host && host->security == RemoteHost::Security::Sftp) return std::make_unique<SftpFolderReader>(std::move(options));
    return std::make_unique<FtpFolderReader>(std::move(options));
}
