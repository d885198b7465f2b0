#pragma once

#include "mobigen/book.h"
#include "mobigen/mobi6/flow_builder.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace mobigen {

struct LinkResolution {
    enum class Kind { Drop, External, Internal };
    Kind kind = Kind::Drop;
    std::string href;   // External
    FlowTarget target;  // Internal
};

// What the reducer asks of the book around the document it reduces.
class ReducerHooks {
public:
    virtual ~ReducerHooks() = default;
    // The 1-based image record for an <img src>, or 0 to leave the image out.
    virtual std::size_t imageRecord(std::string_view src) = 0;
    virtual LinkResolution resolveLink(std::string_view href) = 0;
    // The flow key under which an id of this document is marked.
    virtual std::string anchorKey(std::string_view id) = 0;
    // An h1–h3 heading was written at the place marked `key`.
    virtual void heading(int /*level*/, const std::string& /*text*/, const std::string& /*key*/) {}
    // The text of a linked stylesheet, or "" when there is none.
    virtual std::string stylesheet(std::string_view /*href*/) { return {}; }
    // The book's language (BCP 47), or "" to go by the document's own.
    virtual std::string language() { return {}; }
    // The 1-based image record for the drawing of an <svg> inside the document, or 0.
    virtual std::size_t inlineSvgRecord(std::string_view /*svg*/) { return 0; }
};

// Appends the body of one HTML document to the flow, reduced to the markup MOBI readers
// render. Dropped scripts, forms, media and SVG are reported once per document, naming
// `documentName`. Never fails: malformed markup is tolerated and tags are balanced.
void reduceHtmlDocument(std::string_view html, FlowBuilder& flow, ReducerHooks& hooks, Diagnostics& diagnostics,
                        const std::string& documentName);

// MOBI 6 cannot draw an SVG document: appends its `rendering` (an image record, 0 for none)
// or else its raster images, then the lines of its text, which a rendering leaves out.
// False when it has none of these.
bool reduceSvgDocument(std::string_view svg, std::size_t rendering, FlowBuilder& flow, ReducerHooks& hooks);

// A page that is one picture (a reading-order item that is an image itself).
void appendImagePage(std::size_t record, FlowBuilder& flow);

}  // namespace mobigen
