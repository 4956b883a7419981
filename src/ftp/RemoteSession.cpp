#include "ftp/RemoteSession.h"

#include "ftp/FtpHost.h"
#include "ftp/FtpSession.h"
#include "ftp/SftpSession.h"

std::unique_ptr<RemoteSession> RemoteSession::forHost(const std::string& hostText) {
    auto host = FtpHost::parse(hostText);
    if (host && host->security == FtpHost::Security::Sftp) return std::make_unique<SftpSession>();
    return std::make_unique<FtpSession>();
}
