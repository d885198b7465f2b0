#pragma once

#include "mobigen/book.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

// Reads an HTML document (already in memory) into a book. `fallbackTitle` is used when the
// document has no non-empty <title>. Throws ConversionError when no book can be made.
Book readHtmlBook(std::string page, const std::string& fallbackTitle, Diagnostics& diagnostics);

// Supplies a file an HTML document refers to (an image), by its decoded path relative to
// the document's folder; nothing when it cannot be read.
using ResourceLoader = std::function<std::optional<std::string>(const std::string& relativePath)>;

// As above, with the document's images read through `resources`.
Book readHtmlBook(std::string page, const std::string& fallbackTitle, Diagnostics& diagnostics,
                  const ResourceLoader& resources);

// Reads an EPUB (zip) archive held in memory. Throws ConversionError on refusal.
Book readEpubBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics);

}  // namespace mobigen
