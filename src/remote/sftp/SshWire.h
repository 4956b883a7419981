#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The SSH wire forms (RFC 4251): big-endian integers, strings behind their
// length. A read past the end fails and leaves the value as it was.
namespace ssh_wire {

inline void putU32(std::string& out, uint32_t v) {
    out += {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline void putU64(std::string& out, uint64_t v) {
    putU32(out, static_cast<uint32_t>(v >> 32));
    putU32(out, static_cast<uint32_t>(v));
}

inline void putString(std::string& out, const std::string& value) {
    putU32(out, static_cast<uint32_t>(value.size()));
    out += value;
}

// A payload that is one string.
inline std::string stringPayload(const std::string& value) {
    std::string out;
    putString(out, value);
    return out;
}

inline bool getU32(const std::string& in, size_t& at, uint32_t& value) {
    if (in.size() < at + 4) return false;
    value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    at += 4;
    return true;
}

inline bool getU64(const std::string& in, size_t& at, uint64_t& value) {
    uint32_t high = 0, low = 0;
    if (!getU32(in, at, high) || !getU32(in, at, low)) return false;
    value = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

inline bool getString(const std::string& in, size_t& at, std::string& value) {
    uint32_t length = 0;
    if (!getU32(in, at, length) || in.size() - at < length) return false;
    value.assign(in, at, length);
    at += length;
    return true;
}

}  // namespace ssh_wire
