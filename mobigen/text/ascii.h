#pragma once

// Markup names, URI schemes, charset labels and file extensions are ASCII: these helpers
// touch only A-Z and leave every other byte (or character) as it is.

#include <string>
#include <string_view>

namespace mobigen {

constexpr char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char32_t lowerAscii(char32_t c) { return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c; }

inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

inline std::u32string lowerAscii(std::u32string_view text) {
    std::u32string out(text);
    for (char32_t& c : out) c = lowerAscii(c);
    return out;
}

constexpr bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isAsciiAlnum(char c) { return isAsciiLetter(c) || isAsciiDigit(c); }

// Whether `text` holds `prefix` at `at`, in either case.
inline bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (at > text.size() || text.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lowerAscii(text[at + i]) != lowerAscii(prefix[i])) return false;
    }
    return true;
}

// `text` without the white space (space, tab, CR, LF, form feed) at either end.
constexpr std::string_view trimAsciiSpaces(std::string_view text) {
    constexpr std::string_view kSpaces = " \t\r\n\f";
    const std::size_t first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

// Runs of ASCII white space become one space; none is left at either end.
inline std::string collapseAsciiSpaces(std::string_view text) {
    std::string out;
    bool pending = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pending = !out.empty();
            continue;
        }
        if (pending) out += ' ';
        pending = false;
        out += c;
    }
    return out;
}

// Digits of a power-of-two base up to 32 (0-9, then A-V), zero-padded to `width`.
inline std::string upperDigits(std::size_t value, unsigned bitsPerDigit, std::size_t width) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & ((1u << bitsPerDigit) - 1)]);
        value >>= bitsPerDigit;
    } while (value != 0);
    if (out.size() < width) out.insert(0, width - out.size(), '0');
    return out;
}

// 0-15 for a hexadecimal digit, -1 for anything else.
constexpr int hexDigitValue(char c) {
    if (isAsciiDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace mobigen
