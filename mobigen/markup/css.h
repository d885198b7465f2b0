#pragma once

// The one CSS reader: comments, strings and nesting as CSS has them. What each part keeps of
// a sheet is its own business (kf8/css_filter, the MOBI 6 reducer's raised classes).

#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// Comments become a space; comment marks inside strings stay.
std::string withoutCssComments(std::string_view css);

// The first of `stops` at brace, bracket and parenthesis depth 0 outside strings, or
// text.size().
std::size_t findCssTopLevel(std::string_view text, std::size_t from, std::string_view stops);

// The parts between top-level separators (',' of a selector list, ';' of a block).
std::vector<std::string_view> splitCssList(std::string_view text, char separator);

struct CssDeclaration {
    std::string name;        // lower case
    std::string_view value;  // as written, trimmed
};

// The declarations of a block in order; an item without a colon is passed over.
std::vector<CssDeclaration> cssDeclarations(std::string_view block);

// Told each top-level rule of a sheet in order.
class CssRuleReader {
public:
    virtual ~CssRuleReader() = default;
    virtual void styleRule(std::string_view selectors, std::string_view declarations) = 0;
    // `name` lower case without its '@'; `prelude` the whole of it from the '@', trimmed.
    virtual void blockAtRule(const std::string& name, std::string_view prelude, std::string_view body) = 0;
    virtual void statementAtRule(const std::string& /*name*/, std::string_view /*prelude*/) {}
};

// Reads a sheet already without comments; an unclosed block runs to the end.
void readCssRules(std::string_view css, CssRuleReader& reader);

}  // namespace mobigen
