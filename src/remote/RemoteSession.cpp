#include "remote/RemoteSession.h"

#include "remote/RemoteHost.h"
#include "remote/ftp/FtpSession.h"
#include "remote/sftp/SftpSession.h"

std::unique_ptr<RemoteSession> RemoteSession::forHost(const std::string& hostText) {
    auto host = RemoteHost::parse(hostText);
    if (host && host->security == RemoteHost::Security::Sftp) return std::make_unique<SftpSession>();
    return std::make_unique<FtpSession>();
}
