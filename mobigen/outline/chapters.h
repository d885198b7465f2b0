#pragma once

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

// Whether the text holds a CJK ideograph.
bool containsCjk(std::string_view text);

}  // namespace mobigen
