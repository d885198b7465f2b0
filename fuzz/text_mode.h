#pragma once

// The page the program's text-to-HTML step should write for a text file, worked out here from
// the text-mode rules alone: 0x1A ends the input, CR LF and LF end a line, a lone CR is text,
// and a last line without a line end still counts.

#include <string>
#include <string_view>

namespace fuzz {

inline std::string textModePage(std::string_view text) {
    text = text.substr(0, text.find('\x1A'));
    std::string body;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const bool crLf = end < text.size() && end > start && text[end - 1] == '\r';
        body.append(text.substr(start, end - start - (crLf ? 1 : 0))).append("<br>");
        start = end + 1;
    }
    return "<html><head><title></title></head><body>" + body + "</body></html>";
}

}  // namespace fuzz
