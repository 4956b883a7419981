// The test server on Windows, that is under Wine: the Linux server is
// started as a Unix program, which Wine allows, and ended by closing its
// standard input.
#ifdef _WIN32
#include "TestServer.h"

#include <windows.h>

#include <stdexcept>

#include "TempTree.h"

namespace {

// The Unix path of a Windows path, through Wine's own export.
std::string unixPath(const std::string& windowsPath) {
    using Convert = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Convert>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    if (!convert) throw std::runtime_error("the test server needs Wine");
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* converted = convert(wide.c_str());
    if (!converted) throw std::runtime_error("no Unix path for " + windowsPath);
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

std::string quoted(const std::string& arg) {
    if (arg.find_first_of(" \t\"") == std::string::npos) return arg;
    return "\"" + arg + "\"";
}

}  // namespace

void TestServer::startPyftpdlib(const std::string& root, const Options& options) {
    user_ = options.user;
    password_ = options.password;
    // A Unix program started by Wine gets no Windows pipes: the server says
    // its port in a file, and serves while the stop file exists.
    configDir_ = std::make_unique<TempTree>();
    auto portFile = configDir_->path() / "port";
    stopFile_ = (configDir_->path() / "serving").string();
    configDir_->file("serving");
    auto args = pyftpdlibArgs(unixPath(root), options);
    args.insert(args.end(), {"--port-file", unixPath(portFile.string()), "--stop-file", unixPath(stopFile_)});
    std::string command;
    for (const auto& arg : args) command += quoted(arg) + " ";

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start the test FTP server");
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);

    for (int waited = 0; waited < 15000; waited += 20) {
        std::string line = readFile(portFile);
        if (std::sscanf(line.c_str(), "PORT %d", &port_) == 1) return;
        Sleep(20);
    }
    kill();
    throw std::runtime_error("test FTP server did not start");
}

void TestServer::startVsftpd(const std::string&, const Options&) { throw std::runtime_error("vsftpd tests run on Linux only"); }
void TestServer::startHostile(const Options&) { throw std::runtime_error("hostile servers are tested on Linux only"); }
void TestServer::startSftp(const std::string&, const Options&) { throw std::runtime_error("SFTP servers run on Linux only"); }
void TestServer::startNginx(const std::string&, const Options&) { throw std::runtime_error("nginx runs on Linux only"); }
std::string TestServer::receivedCommands() const { return {}; }

int TestServer::failedLogins() const {
    const std::string log = receivedCommands();
    int count = 0;
    for (size_t at = log.find("login-failed "); at != std::string::npos; at = log.find("login-failed ", at + 1)) ++count;
    return count;
}
std::string TestServer::uploadedFiles() const { return {}; }
void TestServer::startOtherMake(const std::string&, const Options&) {
    throw std::runtime_error("servers of other makes are tested on Linux only");
}

void TestServer::kill() {
    if (!stopFile_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(stopFile_, ignored);
        stopFile_.clear();
        Sleep(150);  // the server looks every 20 ms
    }
}
#endif
