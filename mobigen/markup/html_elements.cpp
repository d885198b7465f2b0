#include "mobigen/markup/html_elements.h"

#include <algorithm>

namespace mobigen {

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isVoidElement(std::string_view name) {
    return isOneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                          "track", "wbr", "mbp:pagebreak", "basefont", "frame", "keygen"});
}

ElementDrop dropOf(std::string_view name) {
    // Scripts, forms' controls, media and embedded documents: what a reader would miss.
    if (isOneOf(name, {"script", "button", "select", "textarea", "input", "audio", "video", "embed", "iframe", "canvas",
                       "applet", "math", "frameset", "frame"}))
        return ElementDrop::Reported;
    // The head, and what only serves other elements (a select's options, a table's columns).
    // colgroup is not here: its end tag may be left out, and its cols go by themselves.
    if (isOneOf(name, {"head", "title", "meta", "link", "base", "style", "template", "datalist", "map", "area", "param",
                       "source", "track", "noembed", "col", "wbr", "option", "optgroup"}))
        return ElementDrop::Silent;
    return ElementDrop::Kept;
}

int headingLevel(std::string_view name) {
    return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6' ? name[1] - '0' : 0;
}

bool isContentsHeading(std::string_view name) {
    const int level = headingLevel(name);
    return level >= 1 && level <= 3;
}

bool ElementSkipper::skip(const HtmlToken& token) {
    const bool start = token.kind == HtmlTokenKind::StartTag;
    const bool end = token.kind == HtmlTokenKind::EndTag;
    if ((start && token.name == "body") || (end && (token.name == "body" || token.name == "html"))) {
        element_.clear();
        return false;
    }
    if (start && token.name == element_ && !token.selfClosing) ++depth_;
    if (end && token.name == element_ && depth_-- == 0) element_.clear();
    return true;
}

}  // namespace mobigen
