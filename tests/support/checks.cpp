#include "tests/support/checks.h"

namespace test_support {

std::optional<std::string> decodePalmDoc(std::string_view packed) {
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

std::string textModePage(std::string_view text) {
    text = text.substr(0, text.find('\x1A'));
    std::string body;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const bool crLf = end < text.size() && end > start && text[end - 1] == '\r';
        body.append(text.substr(start, end - start - (crLf ? 1 : 0))).append("<br>");
        start = end + 1;
    }
    return "<html><head><title></title></head><body>" + body + "</body></html>";
}

std::uint32_t be16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

std::uint32_t be32(std::string_view bytes, std::size_t at) { return be16(bytes, at) << 16 | be16(bytes, at + 2); }

std::string repeat(const std::string& piece, std::size_t times) {
    std::string s;
    while (times-- > 0) s += piece;
    return s;
}

}  // namespace test_support
