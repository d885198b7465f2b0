#pragma once

#include "mobigen/mobi6/flow_builder.h"
#include "mobigen/outline/text_page.h"

#include <string_view>

namespace mobigen {

// Writes a text page's lines to the flow (escaped, otherwise unchanged), each ended by <br>,
// and its headings as <h1>/<h2> on a new page, each with its contents entry.
void writeTextDerivedBody(std::string_view body, const TextOutline& outline, FlowBuilder& flow);

}  // namespace mobigen
