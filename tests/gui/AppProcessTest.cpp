// The real program as a user starts it: its own process on the display.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "TempTree.h"
#include "TestServer.h"

namespace {

class AppProcess {
public:
    // Started in folder; with an argument and XDG_CONFIG_HOME when given.
    explicit AppProcess(const TempTree& folder, const char* argument = nullptr, const std::string& configHome = {}) {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder.str().c_str()) != 0) _exit(126);
            if (!configHome.empty()) setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            execl(QUILLOMAR_APP_PATH, QUILLOMAR_APP_PATH, argument, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~AppProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The exit code once the process has ended within timeoutMs, else -1000.
    int waitExit(int timeoutMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2000;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1000;
    }

private:
    pid_t pid_ = -1;
};

int xdotool(const std::string& args) { return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()); }

// Waits for the dialog to show and gives it the keyboard.
bool focusDialog() {
    return xdotool("search --sync --onlyvisible --name 'Quillomar Ver2.0' windowactivate --sync") == 0;
}

bool waitForFile(const std::filesystem::path& file, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (std::filesystem::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(AppProcess, RunsFromItsWorkingFolderAndEndsWithCodeZero) {
    TempTree site, folder;
    site.file("www/index.html");
    TestServer server(site.str());
    folder.file("SETTING.INI", "[INI_SETTING]\nhost=" + server.host() +
                                   "\nid=user\npswd=secret\ndir=/www\nhttp=http://example.com\nchk1=0\nchk2=0\n");
    AppProcess app(folder);
    ASSERT_TRUE(focusDialog());
    xdotool("key Return");  // runs a generation with the saved settings
    ASSERT_TRUE(waitForFile(folder.path() / "sitemap.xml", 15000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_NE(readFile(folder.path() / "sitemap.xml").find("<loc>http://example.com/index.html</loc>"),
              std::string::npos);
    ASSERT_TRUE(focusDialog());
    xdotool("key alt+F4");
    EXPECT_EQ(app.waitExit(10000), 0);
}

// As the desktop entry starts it: the settings and sitemap.xml live in the
// user's own folder, made (for the owner only) on the first start, never
// in the folder it was started from.
TEST(AppProcess, FromTheMenuItKeepsItsFilesInTheUsersFolder) {
    TempTree site, startedIn, config;
    site.file("www/index.html");
    TestServer server(site.str());
    const auto own = config.path() / "quillomar";
    {
        AppProcess first(startedIn, "--user-folder", config.str());
        ASSERT_TRUE(focusDialog());
        EXPECT_TRUE(std::filesystem::is_directory(own));
        EXPECT_EQ(std::filesystem::status(own).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_all);
        xdotool("key alt+F4");
        EXPECT_EQ(first.waitExit(10000), 0);
    }
    std::ofstream(own / "SETTING.INI") << "[INI_SETTING]\nhost=" << server.host()
                                        << "\nid=user\npswd=secret\ndir=/www\nhttp=http://example.com\nchk1=0\nchk2=0\n";
    AppProcess app(startedIn, "--user-folder", config.str());
    ASSERT_TRUE(focusDialog());
    xdotool("key Return");
    ASSERT_TRUE(waitForFile(own / "sitemap.xml", 15000));
    EXPECT_FALSE(std::filesystem::exists(startedIn.path() / "sitemap.xml"));
    EXPECT_FALSE(std::filesystem::exists(startedIn.path() / "SETTING.INI"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(focusDialog());
    xdotool("key alt+F4");
    EXPECT_EQ(app.waitExit(10000), 0);
}

TEST(AppProcess, ClosingWhileAJobRunsEndsTheProgram) {
    TempTree site, folder;
    for (int i = 0; i < 20; ++i) site.file("www/d" + std::to_string(i) + "/p.html");
    TestServer::Options slow;
    slow.replyDelayMs = 500;  // the walk takes far longer than the test waits
    TestServer server(site.str(), slow);
    folder.file("SETTING.INI", "[INI_SETTING]\nhost=" + server.host() +
                                   "\nid=user\npswd=secret\ndir=/www\nhttp=http://example.com\nchk1=0\nchk2=0\n");
    AppProcess app(folder);
    ASSERT_TRUE(focusDialog());
    xdotool("key Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(focusDialog());
    xdotool("key alt+F4");
    EXPECT_EQ(app.waitExit(5000), 0);
}

}  // namespace
