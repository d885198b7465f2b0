#pragma once

#include "mobigen/flow_builder.h"

#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

enum class HeadingLevel { Volume, Chapter };

// Whether one line of plain text is a chapter heading ("第一回 …", "第三卷", "楔子",
// "Chapter 7", "PROLOGUE" …): a short line with no sentence punctuation inside, so prose
// that merely starts like a heading is left alone.
std::optional<HeadingLevel> detectChapterHeading(std::string_view line);

// The line without the white space (ASCII, no-break or ideographic) around it.
std::string_view trimLine(std::string_view line);

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
