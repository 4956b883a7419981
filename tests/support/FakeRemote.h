#pragma once

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "remote/FolderReader.h"
#include "remote/RemoteSession.h"

// A site held in memory, and logins to it that behave as the description
// says: for table tests of the walk and the job without a server.
// Folders by absolute path ("/", "/a", "/a/b"); a name that is a folder
// there is listed as one.
struct FakeSite {
    std::map<std::string, std::vector<std::string>> folders;
    FailureKind loginFails = FailureKind::None;  // every login, with that kind
    int loginsAtOnce = 1000;                     // more are refused, as by a full server
    std::set<std::string> oddFolders;            // the fast reader cannot read these
    std::string breakAt;                         // the first fast read of this folder breaks its connection
    std::string unlistable;                      // its listing is refused
    bool fastRootDiffers = false;                // the fast reader sees one more name in "/"

    // What the logins did, for the test to look at.
    std::atomic<int> logins{0}, active{0};
    std::atomic<bool> broken{false};
    std::vector<std::string> uploads;
    std::mutex mutex;
    std::vector<size_t> batches;  // folders per fast read, in order

    NameList listing(const std::string& path) const {
        NameList names;
        for (const auto& name : folders.at(path)) {
            NameEntry entry;
            entry.name = name;
            entry.kind = folders.count(below(path, name)) ? EntryKind::Folder : EntryKind::File;
            names.push_back(entry);
        }
        return names;
    }
    static std::string below(const std::string& path, const std::string& name) {
        return (path == "/" ? "" : path) + "/" + name;
    }
    bool login(FailureKind& failure) {
        ++logins;
        failure = loginFails;
        if (failure == FailureKind::None && ++active > loginsAtOnce) {
            --active;
            failure = FailureKind::LoginFailed;
        }
        return failure == FailureKind::None;
    }
};

class FakeReader : public FolderReader {
public:
    explicit FakeReader(FakeSite& site) : site_(site) {}
    ~FakeReader() override {
        if (connected_) --site_.active;
    }
    int connect(const std::string&, const std::string&, const std::string&) override {
        connected_ = site_.login(failure_);
        return connected_ ? 1 : 0;
    }
    const std::string& entryPath() const override { return root_; }
    size_t read(const std::vector<std::string>& paths, std::vector<FolderReading>& results, bool) override {
        {
            std::lock_guard<std::mutex> lock(site_.mutex);
            site_.batches.push_back(paths.size());
        }
        results.assign(paths.size(), FolderReading{});
        for (size_t i = 0; i < paths.size(); ++i) {
            if (paths[i] == site_.breakAt && !site_.broken.exchange(true)) return i;
            FolderReading& result = results[i];
            result.path = paths[i];
            result.entered = site_.folders.count(paths[i]) > 0;
            result.odd = result.entered && (site_.oddFolders.count(paths[i]) || paths[i] == site_.unlistable);
            if (result.entered && !result.odd) result.names = site_.listing(paths[i]);
            if (paths[i] == "/" && site_.fastRootDiffers) result.names.push_back(NameEntry{"ghost.html", {}, {}, {}, {}, -1});
        }
        return paths.size();
    }
    bool outOfStep() const override { return false; }
    FailureKind loginFailure() const override { return failure_; }
    const std::string& loginError() const override { return error_; }

private:
    FakeSite& site_;
    bool connected_ = false;
    FailureKind failure_ = FailureKind::None;
    std::string root_ = "/", error_ = "refused";
};

// A folder-by-folder login to the same site.
class FakeSession : public RemoteSession {
public:
    explicit FakeSession(FakeSite& site) : site_(site) {}
    ~FakeSession() override { close(); }
    void setOptions(LoginOptions) override {}
    int connect(const std::string&, const std::string&, const std::string&) override {
        connected_ = site_.login(failure_);
        here_ = "/";
        return connected_ ? 1 : 0;
    }
    int changeDirectory(const std::string& path) override {
        std::string to = path == "../" ? here_.substr(0, std::max<size_t>(1, here_.rfind('/')))
                         : path.starts_with("/") ? path : FakeSite::below(here_, path);
        if (to.size() > 1 && to.back() == '/') to.pop_back();
        if (!site_.folders.count(to)) return error_ = "550 " + to, 0;
        here_ = to;
        return 1;
    }
    int listNames(NameList& names) override {
        outcome_ = here_ == site_.unlistable ? ListOutcome::Refused : ListOutcome::Listed;
        if (outcome_ == ListOutcome::Refused) return error_ = "550 no listing", 0;
        const NameList more = site_.listing(here_);
        names.insert(names.end(), more.begin(), more.end());
        if (more.empty()) outcome_ = ListOutcome::Empty;
        return static_cast<int>(more.size());
    }
    int currentDirectory(std::string& path) override { return path = here_, 0; }
    int putFile(const std::string&, const std::string& remoteName, int) override {
        std::lock_guard<std::mutex> lock(site_.mutex);
        site_.uploads.push_back(remoteName);
        return 1;
    }
    int readFile(const std::string&, std::string&, size_t) override { return 0; }
    int close() override {
        if (connected_) --site_.active;
        connected_ = false;
        return 1;
    }
    bool connected() const override { return connected_; }
    bool connectionLost() const override { return false; }
    const std::string& lastError() const override { return error_; }
    const TrustProblem& trustProblem() const override { return trust_; }
    FailureKind loginFailure() const override { return failure_; }
    ListOutcome lastListOutcome() const override { return outcome_; }
    std::string currentFolderId() override { return {}; }

private:
    FakeSite& site_;
    std::string here_ = "/", error_ = "refused";
    bool connected_ = false;
    FailureKind failure_ = FailureKind::None;
    ListOutcome outcome_ = ListOutcome::Listed;
    TrustProblem trust_;
};
