#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A temporary folder, removed with everything in it when the object ends.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::string str() const { return root_.string(); }

    // Creates the file (and its folders) below the root; relative is "a/b.html".
    void file(const std::string& relative, const std::string& content = "x") const;
    void folder(const std::string& relative) const;
    void link(const std::string& relative, const std::string& target) const;

private:
    std::filesystem::path root_;
};

// The names in the folder, sorted.
std::vector<std::string> namesIn(const TempTree& dir);

// The whole content of a file, or "<missing>".
std::string readFile(const std::filesystem::path& file);

// The text with every "\n" as CR LF, as sitemap files are on disk.
std::string crlf(const std::string& text);
