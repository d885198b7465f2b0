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

// Strict UTF-8, checked by decoding each sequence (unlike the converter's table of lead and
// second-byte ranges): no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool isValidUtf8(std::string_view text) {
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const unsigned lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
        if (length == 0 || text.size() - i < length) return false;
        char32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned next = static_cast<unsigned char>(text[i + k]);
            if (next >> 6 != 2) return false;
            value = value << 6 | (next & 0x3Fu);
        }
        if (value < kSmallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

}  // namespace fuzz
