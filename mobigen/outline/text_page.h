#pragma once

// The page the program makes of a .txt: its lines, each ended by <br>.

#include "mobigen/mobi6/flow_builder.h"

#include <optional>
#include <string_view>

namespace mobigen {

// The parts of the program's own text-derived form,
// <html><head><title>T</title></head><body>line<br>line<br>…</body></html>.
struct TextDerivedDocument {
    std::string_view title;
    std::string_view body;  // the lines, each ended by <br>
};

// Recognises that form; hand-written HTML (with end tags in its body) is not taken for it.
std::optional<TextDerivedDocument> matchTextDerivedHtml(std::string_view html);

// Writes the lines to the flow as text (escaped, otherwise unchanged), each ended by <br>,
// headings as <h1>/<h2> on a new page with a TOC entry. Returns true when a heading was
// written in Chinese.
bool writeTextDerivedBody(std::string_view body, FlowBuilder& flow);

}  // namespace mobigen
