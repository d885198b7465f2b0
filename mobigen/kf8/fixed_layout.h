#pragma once

// Fixed-layout books (comics, manga, picture books): the KF8 part keeps every page a document
// of its own, with the size it was drawn for.

#include "mobigen/book.h"
#include "mobigen/source/opf.h"

#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

// "1072x1448", or a viewport's "width=1072, height=1448"; nothing for anything else.
std::optional<PageSize> parsePageSize(std::string_view text);

// Whether the package asks for fixed layout. Most of its reading order must agree, since KF8
// cannot mix: a novel with one pre-paginated cover page stays reflowable.
bool isFixedLayout(const Package& package);

// Each page's viewport: the one it declares, else the book's size. The book's size is the
// package's, else the first page's, else a Kindle screen's (reported).
class PageViewports {
public:
    explicit PageViewports(std::optional<PageSize> packageSize) : book_(packageSize) {}

    // What to write as the viewport of the next page, given the one it declares ("" if none).
    std::string forPage(std::string_view declared, Diagnostics& diagnostics);
    PageSize bookSize() const;

private:
    std::optional<PageSize> book_;
};

}  // namespace mobigen
