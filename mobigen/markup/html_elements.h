#pragma once

// What both parts decide about an HTML element by its name alone.

#include "mobigen/text/html_tokenizer.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace mobigen {

// Past this depth start tags are ignored, which keeps end-tag matching linear.
inline constexpr std::size_t kMaxOpenElements = 256;

// Elements that never have content or an end tag.
bool isVoidElement(std::string_view name);

// Elements left out with all their content. A reported one is named in the book's warnings
// (a reader loses something); a silent one carries nothing a reader would miss.
enum class ElementDrop { Kept, Reported, Silent };
ElementDrop dropOf(std::string_view name);

// 1 to 6 for h1 to h6, else 0.
int headingLevel(std::string_view name);

// h1 to h3 make the contents.
bool isContentsHeading(std::string_view name);

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names);

// Passes over the content of a dropped element, counting nested ones of its name. A <body>
// start or a body or html end always stops it, so an unclosed <head> or <svg> cannot
// swallow the book.
class ElementSkipper {
public:
    void start(std::string_view name) {
        element_ = name;
        depth_ = 0;
    }
    bool active() const { return !element_.empty(); }
    const std::string& element() const { return element_; }

    // Takes one token while active. False when the token is a body boundary that the caller
    // must handle itself; skipping has stopped then.
    bool skip(const HtmlToken& token);

private:
    std::string element_;
    std::size_t depth_ = 0;
};

}  // namespace mobigen
