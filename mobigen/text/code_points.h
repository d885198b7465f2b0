#pragma once

#include <cstdint>
#include <string_view>

namespace mobigen {

// Decodes the UTF-8 code point at `pos` and advances; a stray byte reads as itself, so a
// scan never stops on damaged text.
inline std::uint32_t nextCodePoint(std::string_view s, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i])); };
    const std::uint32_t lead = byte(pos);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
    if (pos + length > s.size()) length = 1;
    std::uint32_t cp = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (byte(pos + i) & 0x3F);
    pos += length;
    return cp;
}

}  // namespace mobigen
