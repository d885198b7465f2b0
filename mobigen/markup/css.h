#pragma once

// Stylesheets for the KF8 part: what Kindles render is kept, the rest is left out and named.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

enum class CssUrlKind { Image, Font };

// The address to write for a url() (already unquoted), or nothing to leave it out: the
// declaration for an image, that source of an @font-face for a font.
using CssUrlResolver = std::function<std::optional<std::string>(std::string_view url, CssUrlKind kind)>;

// The filtered text of a sheet named by @import, or nothing.
using CssImportLoader = std::function<std::optional<std::string>(std::string_view url)>;

// A type selector as the markup needs it ("div.tag-section" for section), or "" to keep it.
using CssTypeRenamer = std::function<std::string(std::string_view element)>;

struct CssContext {
    CssUrlResolver urls;
    CssImportLoader imports;
    CssTypeRenamer rename;
};

struct FilteredCss {
    std::string css;
    std::vector<std::string> dropped;  // what was left out, as "position: fixed" or "@media print"
    std::string writingMode;           // a vertical mode the sheet sets on html, body or :root
};

FilteredCss filterStylesheet(std::string_view css, const CssContext& context);

// The declarations of a style attribute; `onRoot` for one on html or body.
FilteredCss filterDeclarations(std::string_view declarations, const CssContext& context, bool onRoot);

// The selector with its type selectors renamed.
std::string renameTypeSelectors(std::string_view selector, const CssTypeRenamer& rename);

// The sheet without its comments; strings are kept as they are.
std::string withoutCssComments(std::string_view css);

// The rule that turns a whole book vertical.
std::string verticalWritingRule(const std::string& mode);

}  // namespace mobigen
