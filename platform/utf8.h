#pragma once

// UTF-8 checks and repairs. Every invalid sequence becomes U+FFFD and is counted in bytes,
// so callers can warn once instead of losing text silently.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

bool isValidUtf8(std::string_view text);

// The text without a leading UTF-8 byte-order mark.
inline std::string_view withoutUtf8Mark(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

// Appends `text` to `out`, each maximal invalid subpart replaced by U+FFFD. Returns the
// number of invalid bytes.
std::size_t appendRepairedUtf8(std::string_view text, std::string& out);

void appendCodePoint(char32_t codePoint, std::string& out);

// UTF-16 in the given byte order; unpaired surrogates and an odd last byte count as invalid.
enum class ByteOrder { Little, Big };
std::size_t appendUtf16AsUtf8(std::string_view bytes, ByteOrder order, std::string& out);
std::size_t appendUtf16AsUtf8(const std::u16string& units, std::string& out);

}  // namespace platform
