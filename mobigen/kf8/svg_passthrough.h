#pragma once

// SVG inside a KF8 document is copied as it is: its camel case restored (the tokenizer lowers
// names), its images resolved, scripts, links and foreign markup left out.

#include "mobigen/kf8/xhtml_writer.h"
#include "mobigen/text/html_tokenizer.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// "rect" for "svg:rect"; other names as they are.
std::string_view svgLocalName(std::string_view name);

class SvgPassthrough {
public:
    // Writes to `out`; `ids` are the document's, so the drawing's stay unique in it.
    SvgPassthrough(XhtmlHooks& hooks, std::set<std::string>& ids, std::string& out)
        : hooks_(hooks), ids_(ids), out_(out) {}

    // Inside an <svg> element: the next token is its own.
    bool open() const { return svgDepth_ > 0; }

    // Copies one token, starting with the <svg> start tag. False for a body or html end tag,
    // which closes the drawing and is the caller's to handle.
    bool take(const HtmlToken& token);

    void closeAll() {
        while (svgDepth_ > 0) closeElement();
    }

private:
    void startTag(const HtmlToken& token);
    void closeElement();

    XhtmlHooks& hooks_;
    std::set<std::string>& ids_;
    std::string& out_;
    std::vector<std::string> svgOpen_;
    std::size_t svgDepth_ = 0;
    std::size_t svgSkipDepth_ = 0;
};

// The first <svg> element of an SVG file, standalone (namespaces declared), or "".
std::string writeSvgElement(std::string_view svg, XhtmlHooks& hooks);

}  // namespace mobigen
