#pragma once

// The operating system's half of text decoding. Encodings are named by Windows code page
// numbers on every system; the POSIX side maps them to iconv names.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

constexpr unsigned kCodePageUtf8 = 65001;
constexpr unsigned kCodePageGb18030 = 54936;

struct Decoded {
    std::string utf8;
    std::size_t invalidBytes = 0;  // each replaced by U+FFFD
};

// Decodes a single- or multibyte code page. Empty when this system cannot decode it.
std::optional<Decoded> decodeCodePage(std::string_view bytes, unsigned codePage);

// What undeclared, non-UTF-8 text is taken to be: the ANSI code page on Windows, GB18030
// elsewhere.
unsigned fallbackCodePage();

// File names arrive in the ANSI code page on Windows and as UTF-8 elsewhere.
std::string fileNameToUtf8(std::string_view name);

// The name of a file a document refers to, for opening it: ANSI on Windows.
std::string utf8ToFileName(std::string_view name);

// Messages are composed in UTF-8; the console wants the ANSI code page on Windows.
std::string utf8ToConsole(std::string_view text);

}  // namespace platform
