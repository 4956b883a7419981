#include "TempTree.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <random>

#include "util/Utf8Path.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

TempTree::TempTree() {
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("quillomar-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            root_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "quillomar-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
#endif
}

TempTree::~TempTree() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
}

void TempTree::file(const std::string& relative, const std::string& content) const {
    auto target = root_ / utf8Path(relative);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << content;
}

void TempTree::folder(const std::string& relative) const {
    std::filesystem::create_directories(root_ / utf8Path(relative));
}

void TempTree::link(const std::string& relative, const std::string& target) const {
    auto where = root_ / utf8Path(relative);
    std::filesystem::create_directories(where.parent_path());
    std::filesystem::create_directory_symlink(target, where);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::vector<std::string> namesIn(const TempTree& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
