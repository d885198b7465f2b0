#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

enum class HeadingLevel { Volume, Chapter };  // a volume (卷, 部, Part …) holds chapters

// Where the heading stands in a line of plain text: a site's prefix ("正文 ", "《书名》") and the
// indentation before it, and a first sentence run in after it ("诗曰：…"), lie outside
// [begin, end). The bytes after `end` are the chapter's first paragraph.
struct HeadingLine {
    HeadingLevel level = HeadingLevel::Chapter;
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The heading a line holds, numbered ("第十二回", "卷一", "Chapter 7") or named ("楔子",
// "Prologue"); prose that merely starts like one ("第一次见面…", "第三回中…矣。") holds none.
std::optional<HeadingLine> findHeading(std::string_view line);

// The line without the white space (ASCII, no-break or ideographic) around it.
std::string_view trimLine(std::string_view line);

// Whether the text holds a CJK ideograph.
bool containsCjk(std::string_view text);

}  // namespace mobigen
