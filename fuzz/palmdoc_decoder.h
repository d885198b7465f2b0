#pragma once

// A PalmDOC decoder written from the format description, so the compressor is checked
// against something other than itself.

#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

inline std::optional<std::string> decodePalmDoc(std::string_view packed) {
    std::string text;
    std::size_t at = 0;
    while (at < packed.size()) {
        const unsigned code = static_cast<unsigned char>(packed[at++]);
        if (code >= 0xC0) {  // a space and the character code ^ 0x80
            text += ' ';
            text += static_cast<char>(code ^ 0x80u);
            continue;
        }
        if (code >= 0x80) {  // 2 bytes: 11-bit distance back, 3-bit length - 3
            if (at == packed.size()) return std::nullopt;
            const unsigned pair = (code << 8) | static_cast<unsigned char>(packed[at++]);
            const std::size_t back = (pair & 0x3FFFu) >> 3;
            if (back == 0 || back > text.size()) return std::nullopt;
            for (std::size_t n = (pair & 7u) + 3; n > 0; --n) text += text[text.size() - back];
            continue;
        }
        if (code == 0 || code > 8) {  // the byte itself
            text += static_cast<char>(code);
            continue;
        }
        if (packed.size() - at < code) return std::nullopt;  // 1..8 bytes copied as they are
        text.append(packed.substr(at, code));
        at += code;
    }
    return text;
}

}  // namespace fuzz
