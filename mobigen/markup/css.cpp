#include "mobigen/markup/css.h"

#include "mobigen/text/ascii.h"

#include <algorithm>

namespace mobigen {
namespace {

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\f");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n\f") - first + 1);
}

// The first of `stops` at brace and bracket depth 0 outside strings, or text.size().
std::size_t findTopLevel(std::string_view text, std::size_t from, std::string_view stops) {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
            continue;
        }
        if (depth == 0 && stops.find(c) != std::string_view::npos) return i;
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == '(' || c == '[' || c == '{')
            ++depth;
        else if ((c == ')' || c == ']' || c == '}') && depth > 0)
            --depth;
    }
    return text.size();
}

// The '}' that closes the '{' at `open`, or text.size() for an unclosed block.
std::size_t matchingBrace(std::string_view text, std::size_t open) { return findTopLevel(text, open + 1, "}"); }

std::vector<std::string_view> splitTopLevel(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = findTopLevel(text, start, std::string_view(&separator, 1));
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// What Kindle's KF8 renderer honours (Kindle Publishing Guidelines), vendor prefixes removed.
bool isKeptProperty(std::string_view name) {
    static const std::string_view kFamilies[] = {"margin",      "padding", "border", "font",    "text-", "list-style",
                                                 "page-break-", "break-",  "ruby",   "outline", "column"};
    static const std::string_view kNames[] = {"color",
                                              "background",
                                              "background-color",
                                              "background-image",
                                              "background-repeat",
                                              "background-position",
                                              "background-size",
                                              "display",
                                              "float",
                                              "clear",
                                              "width",
                                              "height",
                                              "min-width",
                                              "max-width",
                                              "min-height",
                                              "max-height",
                                              "vertical-align",
                                              "line-height",
                                              "letter-spacing",
                                              "word-spacing",
                                              "white-space",
                                              "orphans",
                                              "widows",
                                              "table-layout",
                                              "border-collapse",
                                              "border-spacing",
                                              "caption-side",
                                              "empty-cells",
                                              "writing-mode",
                                              "direction",
                                              "unicode-bidi",
                                              "hyphens",
                                              "src",
                                              "unicode-range",
                                              "visibility",
                                              "position",
                                              "top",
                                              "left",
                                              "right",
                                              "bottom",
                                              "content",
                                              "quotes",
                                              "counter-reset",
                                              "counter-increment",
                                              "box-sizing",
                                              "word-wrap",
                                              "overflow-wrap",
                                              "word-break",
                                              "line-break",
                                              "adobe-hyphenate",
                                              "hyphenate-limit-chars",
                                              "overflow"};
    for (const auto family : kFamilies) {
        if (startsWith(name, family)) return true;
    }
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool isUnsafeValue(std::string_view property, const std::string& lowerValue) {
    if (lowerValue.find("expression(") != std::string::npos || lowerValue.find("javascript:") != std::string::npos)
        return true;
    return property == "position" &&
           (lowerValue.find("fixed") != std::string::npos || lowerValue.find("sticky") != std::string::npos);
}

bool isRootSelector(std::string_view selectors) {
    for (const auto part : splitTopLevel(selectors, ',')) {
        const std::string s = lowerAscii(trim(part));
        const std::string head = s.substr(0, s.find_first_of(".#[ >+~:"));
        if (head == "html" || head == "body" || startsWith(s, ":root")) return true;
    }
    return false;
}

bool isKeptMedia(std::string_view query) {
    const std::string q = lowerAscii(trim(query));
    if (q.find("amzn-kf8") != std::string::npos) return true;
    for (const auto part : splitTopLevel(q, ',')) {
        const auto medium = trim(part);
        if (medium == "all" || medium == "screen") return true;
    }
    return false;
}

// url(…) or "…" at the start of an @import prelude.
std::string importTarget(std::string_view prelude) {
    std::string_view rest = trim(prelude);
    if (startsWithNoCase(rest, 0, "url(")) rest = trim(rest.substr(4, rest.find(')') - 4));
    if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
        const std::size_t close = rest.find(rest[0], 1);
        return std::string(rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    return std::string(rest.substr(0, rest.find_first_of(" \t\r\n;")));
}

class SheetFilter {
public:
    SheetFilter(const CssContext& context, FilteredCss& result) : context_(context), result_(result) {}

    void rules(std::string_view text, std::string& out) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            pos = text.find_first_not_of(" \t\r\n\f", pos);
            if (pos == std::string_view::npos) return;
            const bool atRule = text[pos] == '@';
            const std::size_t end = findTopLevel(text, pos, atRule ? "{;" : "{;}");
            const std::string_view prelude = trim(text.substr(pos, end - pos));
            if (end == text.size() || text[end] != '{') {
                if (atRule) statementAtRule(prelude, out);
                pos = end + 1;
                continue;
            }
            const std::size_t close = matchingBrace(text, end);
            const std::string_view body = text.substr(end + 1, close - end - 1);
            if (atRule) {
                blockAtRule(prelude, body, out);
            } else {
                styleRule(prelude, body, out);
            }
            pos = close + 1;
        }
    }

    std::string declarations(std::string_view body, CssUrlKind urlKind, bool rootSelector) {
        std::string out;
        for (const auto item : splitTopLevel(body, ';')) {
            const std::size_t colon = item.find(':');
            if (colon == std::string_view::npos) continue;
            const std::string name = lowerAscii(trim(item.substr(0, colon)));
            std::string value(trim(item.substr(colon + 1)));
            if (name.empty() || value.empty()) continue;
            std::string_view base = name;
            for (const std::string_view prefix : {"-webkit-", "-epub-", "-moz-", "-ms-", "-o-"}) {
                if (startsWith(base, prefix)) base.remove_prefix(prefix.size());
            }
            const bool foreignPrefix = startsWith(name, "-moz-") || startsWith(name, "-ms-") || startsWith(name, "-o-");
            if (foreignPrefix) continue;  // other browsers' copies of kept properties
            const std::string lowerValue = lowerAscii(value);
            if (!isKeptProperty(base) || isUnsafeValue(base, lowerValue)) {
                result_.dropped.push_back(base == "position" ? name + ": " + lowerValue : name);
                continue;
            }
            if (!rewriteUrls(value, urlKind)) continue;
            if (base == "writing-mode" && rootSelector && startsWith(lowerValue, "vertical"))
                result_.writingMode = lowerValue.substr(0, lowerValue.find_first_of(" !"));
            out += name + ": " + value + "; ";
        }
        if (!out.empty()) out.pop_back();
        return out;
    }

private:
    void statementAtRule(std::string_view prelude, std::string& out) {
        const std::string name = atRuleName(prelude);
        if (name == "charset") return;  // flows are UTF-8
        if (name == "namespace") {
            out += std::string(prelude) + ";\n";
        } else if (name == "import" && context_.imports) {
            if (const auto sheet = context_.imports(importTarget(prelude.substr(7)))) out += *sheet;
        } else if (name != "import") {
            result_.dropped.push_back("@" + name);
        }
    }

    void blockAtRule(std::string_view prelude, std::string_view body, std::string& out) {
        const std::string name = atRuleName(prelude);
        if (name == "font-face") {
            const std::string kept = declarations(body, CssUrlKind::Font, false);
            if (kept.find("src:") != std::string::npos) out += "@font-face {" + kept + "}\n";
        } else if (name == "media" && isKeptMedia(prelude.substr(6))) {
            std::string inner;
            rules(body, inner);
            if (!inner.empty()) out += std::string(prelude) + " {\n" + inner + "}\n";
        } else if (name == "page") {
            out += std::string(prelude) + " {" + declarations(body, CssUrlKind::Image, false) + "}\n";
        } else {
            result_.dropped.push_back(name == "media" ? std::string(prelude) : "@" + name);
        }
    }

    void styleRule(std::string_view selector, std::string_view body, std::string& out) {
        if (selector.empty()) return;
        const std::string kept = declarations(body, CssUrlKind::Image, isRootSelector(selector));
        if (kept.empty()) return;
        out += context_.rename ? renameTypeSelectors(selector, context_.rename) : std::string(selector);
        out += " {" + kept + "}\n";
    }

    static std::string atRuleName(std::string_view prelude) {
        std::size_t end = 1;
        while (end < prelude.size() && (isAsciiAlnum(prelude[end]) || prelude[end] == '-')) ++end;
        return lowerAscii(prelude.substr(1, end - 1));
    }

    // Rewrites every url(); false when the declaration must go. A font's sources are a
    // list, and only the unusable ones go.
    bool rewriteUrls(std::string& value, CssUrlKind kind) {
        if (lowerAscii(value).find("url(") == std::string::npos) return true;
        if (kind == CssUrlKind::Image) return rewriteAll(value, kind);
        std::string kept;
        for (const auto source : splitTopLevel(value, ',')) {
            std::string one(trim(source));
            if (!rewriteAll(one, kind)) continue;
            if (!kept.empty()) kept += ", ";
            kept += one;
        }
        value = kept;
        return !kept.empty();
    }

    bool rewriteAll(std::string& value, CssUrlKind kind) {
        std::size_t at = 0;
        while ((at = lowerAscii(value).find("url(", at)) != std::string::npos) {
            const std::size_t close = findTopLevel(value, at + 4, ")");
            std::string_view target = trim(std::string_view(value).substr(at + 4, close - at - 4));
            if (target.size() >= 2 && (target[0] == '"' || target[0] == '\'') && target.back() == target[0])
                target = target.substr(1, target.size() - 2);
            const auto address = context_.urls ? context_.urls(target, kind) : std::nullopt;
            if (!address) return false;
            const std::string replacement = "url(" + *address + ")";
            value.replace(at, std::min(close + 1, value.size()) - at, replacement);
            at += replacement.size();
        }
        return true;
    }

    const CssContext& context_;
    FilteredCss& result_;
};

}  // namespace

std::string withoutCssComments(std::string_view css) {
    std::string out;
    out.reserve(css.size());
    char quote = 0;
    for (std::size_t i = 0; i < css.size(); ++i) {
        const char c = css[i];
        if (quote != 0) {
            if (c == '\\' && i + 1 < css.size()) {
                out += c;
                out += css[++i];
                continue;
            }
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const std::size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? css.size() : end + 1;
            out += ' ';
            continue;
        }
        out += c;
    }
    return out;
}

FilteredCss filterStylesheet(std::string_view css, const CssContext& context) {
    FilteredCss result;
    SheetFilter filter(context, result);
    filter.rules(withoutCssComments(css), result.css);
    return result;
}

FilteredCss filterDeclarations(std::string_view declarations, const CssContext& context, bool onRoot) {
    FilteredCss result;
    SheetFilter filter(context, result);
    result.css = filter.declarations(withoutCssComments(declarations), CssUrlKind::Image, onRoot);
    return result;
}

std::string renameTypeSelectors(std::string_view selector, const CssTypeRenamer& rename) {
    std::string out;
    bool compoundStart = true;
    int brackets = 0;
    for (std::size_t i = 0; i < selector.size();) {
        const char c = selector[i];
        if (brackets == 0 && compoundStart && isAsciiLetter(c)) {
            std::size_t end = i;
            while (end < selector.size() &&
                   (isAsciiAlnum(selector[end]) || selector[end] == '-' || selector[end] == '_'))
                ++end;
            const std::string_view name = selector.substr(i, end - i);
            const std::string renamed = end < selector.size() && selector[end] == '|' ? std::string() : rename(name);
            out += renamed.empty() ? std::string(name) : renamed;
            compoundStart = false;
            i = end;
            continue;
        }
        if (c == '[') ++brackets;
        if (c == ']' && brackets > 0) --brackets;
        compoundStart = brackets == 0 && std::string_view(" \t\n,>+~(").find(c) != std::string_view::npos;
        out += c;
        ++i;
    }
    return out;
}

std::string verticalWritingRule(const std::string& mode) {
    return "html {writing-mode: " + mode + "; -webkit-writing-mode: " + mode + "; -epub-writing-mode: " + mode + "}\n";
}

}  // namespace mobigen
