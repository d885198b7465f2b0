#pragma once

// The page the program makes of a .txt: its lines, each ended by <br>, and their outline.

#include "mobigen/outline/chapters.h"
#include "mobigen/outline/outline.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct TextDerivedDocument {
    std::string_view title;
    std::string_view body;  // the lines, each ended by <br>
};

// Recognises the program's page by its fixed frame, whatever tags a download site left in its
// lines; hand-written HTML, which has line ends or other framing, is not taken for it.
std::optional<TextDerivedDocument> matchTextDerivedHtml(std::string_view html);

// The lines of a page's body one at a time, from `from`.
class PageLines {
public:
    explicit PageLines(std::string_view body, std::size_t from = 0) : body_(body), next_(from) {}
    bool next(std::string_view& line);
    // Where the line last given starts.
    std::size_t at() const { return at_; }

private:
    std::string_view body_;
    std::size_t next_;
    std::size_t at_ = 0;
};

// A line as the reader sees it: HTML tags a download site left in it are dropped, their text
// kept ("<h3>1</h3>" reads "1"). The line itself when it has none; else `scratch` holds it.
std::string_view plainLine(std::string_view line, std::string& scratch);

// The outline of a page, found once for both parts: an entry per heading line (level 1 for a
// volume, 2 for a chapter, `at` the line's offset in the body) and where the heading stands in
// that line's plain text.
struct TextOutline {
    Outline outline;
    std::vector<HeadingLine> headings;  // one per entry
    bool chinese = false;               // a heading is written in Chinese
};
TextOutline outlineOfTextPage(std::string_view body);

// A heading line cut in two: the heading as it is shown, and the chapter's first words run into
// the same line (empty when there are none).
struct SplitHeading {
    std::string_view heading;
    std::string_view rest;
};
// With nothing around the heading the whole line is shown, as it is written.
SplitHeading splitHeadingLine(std::string_view plain, const HeadingLine& heading);

}  // namespace mobigen
