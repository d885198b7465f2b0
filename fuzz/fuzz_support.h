#pragma once

// Shared by the fuzz targets: a failed check aborts, so libFuzzer keeps the input as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline void check(bool holds, const char* what) {
    if (!holds) fail(what);
}

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Big-endian readers for the checks on written MOBI files; the caller checks the bounds.
inline std::uint32_t readU16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

inline std::uint32_t readU32(std::string_view bytes, std::size_t at) {
    return readU16(bytes, at) << 16 | readU16(bytes, at + 2);
}

}  // namespace fuzz
