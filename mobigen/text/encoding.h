#pragma once

#include "mobigen/book.h"

#include <string>
#include <string_view>

namespace mobigen {

// Decodes a whole HTML file to UTF-8. The choice is made over all of it: a byte-order mark,
// then a declared charset (<meta charset> or http-equiv), then valid UTF-8, and failing all
// three the system's ANSI code page on Windows or GB18030 elsewhere, where Chinese text is
// read as GBK/GB18030 or Big5, whichever is more plausible. Bytes invalid in the
// chosen encoding become U+FFFD and one warning counts them.
std::string decodeHtmlToUtf8(std::string_view bytes, Diagnostics& diagnostics);

}  // namespace mobigen
