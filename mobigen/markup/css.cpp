#include "mobigen/markup/css.h"

#include "mobigen/text/ascii.h"

namespace mobigen {
namespace {

std::string atRuleName(std::string_view prelude) {
    std::size_t end = 1;
    while (end < prelude.size() && (isAsciiAlnum(prelude[end]) || prelude[end] == '-')) ++end;
    return lowerAscii(prelude.substr(1, end - 1));
}

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

std::size_t findCssTopLevel(std::string_view text, std::size_t from, std::string_view stops) {
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

std::vector<std::string_view> splitCssList(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = findCssTopLevel(text, start, std::string_view(&separator, 1));
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::vector<CssDeclaration> cssDeclarations(std::string_view block) {
    std::vector<CssDeclaration> declarations;
    for (const std::string_view item : splitCssList(block, ';')) {
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos) continue;
        declarations.push_back(
            {lowerAscii(trimAsciiSpaces(item.substr(0, colon))), trimAsciiSpaces(item.substr(colon + 1))});
    }
    return declarations;
}

void readCssRules(std::string_view css, CssRuleReader& reader) {
    std::size_t pos = 0;
    while (pos < css.size()) {
        pos = css.find_first_not_of(" \t\r\n\f", pos);
        if (pos == std::string_view::npos) return;
        const bool atRule = css[pos] == '@';
        // A stray '}' ends a style rule's prelude, so one broken rule costs only itself.
        const std::size_t end = findCssTopLevel(css, pos, atRule ? "{;" : "{;}");
        const std::string_view prelude = trimAsciiSpaces(css.substr(pos, end - pos));
        if (end == css.size() || css[end] != '{') {
            if (atRule) reader.statementAtRule(atRuleName(prelude), prelude);
            pos = end + 1;
            continue;
        }
        const std::size_t close = findCssTopLevel(css, end + 1, "}");
        const std::string_view body = css.substr(end + 1, close - end - 1);
        if (atRule)
            reader.blockAtRule(atRuleName(prelude), prelude, body);
        else
            reader.styleRule(prelude, body);
        pos = close + 1;
    }
}

}  // namespace mobigen
