#pragma once

#include <string>

// Writes content to the file at path (UTF-8) through a temporary file
// beside it, so that a failed write leaves the old file whole. A new file
// is readable by its owner only; an existing one keeps its permissions.
bool replaceFile(const std::string& path, const std::string& content);

// Creates a new, empty file beside path, named path + "." + 8 hex digits +
// extension, under a fresh name of its own (never an existing file or
// link), open for writing with the given permissions. Returns its name and
// sets fd (the caller closes it); empty with error set when that fails.
std::string createFreshBeside(const std::string& path, const char* extension, int mode, int& fd,
                              std::string& error);

// Whether name is one createFreshBeside made for path with that extension.
bool isFreshBeside(const std::string& name, const std::string& pathFileName, const char* extension);

// Gives the file at from the name to, replacing what is there. False with
// error set when that fails.
bool renameOver(const std::string& from, const std::string& to, std::string& error);
