#pragma once

// Well-formed XHTML 1.1 for the KF8 part, from whatever HTML the tokenizer reads: tags
// balanced and nested as XHTML 1.1 allows, HTML5 sectioning as div, text escaped, voids
// self-closed, ids unique, scripts, forms and media left out.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// An image as written: an address for src, or an SVG drawing to put in its place.
struct XhtmlImage {
    std::string src;
    std::string inlineSvg;
};

// What the writer asks of the book around the document.
class XhtmlHooks {
public:
    virtual ~XhtmlHooks() = default;
    // For <img src> (which may name an SVG file) and SVG <image href>; nothing leaves it out.
    virtual std::optional<XhtmlImage> image(std::string_view src) = 0;
    // For <a href>: the address to write, or nothing to keep only the link's content.
    virtual std::optional<std::string> link(std::string_view href) = 0;
    // For <link rel="stylesheet">: the address of its flow, or nothing.
    virtual std::optional<std::string> stylesheet(std::string_view href) = 0;
    // The kept part of a <style> element, or of a style attribute (`onRoot` on html or body).
    virtual std::string style(std::string_view css, bool attribute, bool onRoot) = 0;
    // The content of the page's <meta name="viewport"> to write, given the one it declares
    // ("" when none): a fixed-layout page needs one, a reflowable page keeps none.
    virtual std::string viewport(std::string_view /*declared*/) { return {}; }
};

struct XhtmlHeading {
    int level = 1;
    std::string text;
    std::string id;
};

struct XhtmlResult {
    std::string document;
    std::vector<XhtmlHeading> headings;  // h1-h3, in order
    std::map<std::string, int> dropped;  // element name, count
};

// `headingIds`: give h1-h3 without an id one, so a contents list can point at them.
XhtmlResult writeXhtmlDocument(std::string_view html, XhtmlHooks& hooks, bool headingIds);

// The first <svg> element of an SVG file, standalone (namespaces declared), or "".
std::string writeSvgElement(std::string_view svg, XhtmlHooks& hooks);

// A document in two halves, for a body written straight into it.
std::string xhtmlDocumentStart(std::string_view title, std::string_view head, std::string_view bodyAttributes,
                               std::string_view language);
inline constexpr std::string_view kXhtmlDocumentEnd = "</body></html>";

// A document around ready body markup; `head` goes after the title.
std::string xhtmlDocument(std::string_view title, std::string_view head, std::string_view bodyAttributes,
                          std::string_view body, std::string_view language);

// <meta name="viewport" content="..."/>, for a head.
std::string viewportElement(std::string_view content);

// How a stylesheet selects what the writer wrote for an element: "div.tag-section" for
// section, "" for an element written as itself.
std::string xhtmlTypeSelector(std::string_view element);

// An id as XML allows it (a name without colons). Links to it must map their id the same way.
std::string xmlId(std::string_view id);

// Marks a number filled in once the whole book is read (KF8 font and SVG flow numbers). It is
// not an XML character, so the source's own text can never carry one into the markup.
inline constexpr char kLateNumberMark = '\x01';

// Escapes markup characters and leaves out characters XML forbids (but late-number marks in
// values the book made, with `keepLateMarks`).
void appendXmlEscaped(std::string& out, std::string_view text, bool attribute, bool keepLateMarks = false);

}  // namespace mobigen
