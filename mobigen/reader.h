#pragma once

#include "mobigen/book.h"

#include <string>
#include <string_view>

namespace mobigen {

// Reads an HTML document (already in memory) into a book. `fallbackTitle` is used when the
// document has no non-empty <title>. Throws ConversionError when no book can be made.
Book readHtmlBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics);

// Reads an EPUB (zip) archive held in memory. Throws ConversionError on refusal.
Book readEpubBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics);

}  // namespace mobigen
