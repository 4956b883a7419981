#pragma once

#include <cstdint>
#include <string>

// Reads a small regular file whole. A missing file gives empty bytes and
// true, with *missing set. Anything else standing there (a folder, a FIFO,
// a device) or a file past maxBytes gives false and an error naming the
// file. A FIFO is never opened for reading, so this never blocks on one.
bool readSmallFile(const std::string& path, std::uintmax_t maxBytes, std::string& bytes, std::string& error,
                   bool* missing = nullptr);
