#pragma once

#include "mobigen/book.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/images/images.h"
#include "mobigen/outline/text_page.h"

#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// The KF8 part of a page made from a .txt: a paragraph per line with a first-line indent
// and no gaps, a document per chapter (so each starts a page), and a contents page. The part
// keeps the lines and makes its documents from them when the writer asks.
Kf8Part textDerivedKf8(std::string lines, TextOutline outline, const std::string& title,
                       const std::string& contentsTitle, const std::string& language);

// The KF8 part of a hand-written HTML document: its body as XHTML with its styles, and a
// contents list from the book's outline, whose entries count its h1-h3 headings.
Kf8Part htmlKf8(std::string_view html, const Outline& outline, ImageCollector& collector, std::vector<Image>& images,
                const ResourceLoader& resources, Diagnostics& diagnostics);

}  // namespace mobigen
