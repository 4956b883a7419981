#pragma once

#include <string>

// Writes content to the file at path (UTF-8) through a temporary file
// beside it, so that a failed write leaves the old file whole. A new file
// is readable by its owner only; an existing one keeps its permissions.
bool replaceFile(const std::string& path, const std::string& content);
