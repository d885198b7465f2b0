#include "mobigen/outline/text_page.h"

#include "convert/text_page_format.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace mobigen {
namespace {

using namespace text_page_format;
constexpr std::string_view kLineEndView = kLineEnd;

// Tags seen in text saved from web pages; anything else in angle brackets is the text's own.
constexpr std::array<std::string_view, 32> kSiteTags = {
    "a",  "b",  "big", "br",  "center", "dd", "div", "dl",    "dt",   "em",     "font", "h1",  "h2", "h3", "h4", "h5",
    "h6", "hr", "i",   "img", "li",     "ol", "p",   "small", "span", "strong", "sub",  "sup", "td", "tr", "u",  "ul"};

bool isSiteTag(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(kSiteTags.begin(), kSiteTags.end(), lower) != kSiteTags.end();
}

// The length of a site tag starting at `at` ('<'), or 0 when the bracket is text.
std::size_t siteTagLength(std::string_view line, std::size_t at) {
    std::size_t name = at + 1;
    if (name < line.size() && line[name] == '/') ++name;
    std::size_t end = name;
    while (end < line.size() && std::isalnum(static_cast<unsigned char>(line[end]))) ++end;
    if (end == name || !isSiteTag(line.substr(name, end - name))) return 0;
    const std::size_t close = line.find_first_of("<>", end);
    if (close == std::string_view::npos || line[close] != '>') return 0;
    const char after = line[end];
    if (after != '>' && after != '/' && after != ' ' && after != '\t') return 0;
    return close + 1 - at;
}

bool blank(std::string_view text) { return trimLine(text).empty(); }

}  // namespace

std::optional<TextDerivedDocument> matchTextDerivedHtml(std::string_view html) {
    const std::string_view head = kHead, afterTitle = kBodyStart, tail = kEnd;
    if (html.substr(0, head.size()) != head) return std::nullopt;
    const std::size_t titleEnd = html.find(afterTitle, head.size());
    if (titleEnd == std::string_view::npos) return std::nullopt;
    const std::string_view title = html.substr(head.size(), titleEnd - head.size());
    if (title.find('<') != std::string_view::npos) return std::nullopt;
    const std::size_t bodyStart = titleEnd + afterTitle.size();
    if (html.size() < bodyStart + tail.size() || html.substr(html.size() - tail.size()) != tail) return std::nullopt;
    const std::string_view body = html.substr(bodyStart, html.size() - tail.size() - bodyStart);
    const bool linesEnd = body.empty() || (body.size() >= kLineEndView.size() &&
                                           body.substr(body.size() - kLineEndView.size()) == kLineEndView);
    // The program writes no line ends, so a page that has one was written by hand.
    if (!linesEnd || body.find('\n') != std::string_view::npos) return std::nullopt;
    return TextDerivedDocument{title, body};
}

bool PageLines::next(std::string_view& line) {
    if (next_ >= body_.size()) return false;
    std::size_t end = body_.find(kLineEndView, next_);
    if (end == std::string_view::npos) end = body_.size();
    line = body_.substr(next_, end - next_);
    at_ = next_;
    next_ = end + kLineEndView.size();
    return true;
}

std::string_view plainLine(std::string_view line, std::string& scratch) {
    std::size_t at = line.find('<');
    if (at == std::string_view::npos) return line;
    scratch.clear();
    std::size_t copied = 0;
    for (; at != std::string_view::npos; at = line.find('<', at + 1)) {
        const std::size_t length = siteTagLength(line, at);
        if (length == 0) continue;
        scratch.append(line, copied, at - copied);
        copied = at + length;
        at = copied - 1;
    }
    if (copied == 0) return line;
    scratch.append(line, copied, std::string_view::npos);
    return scratch;
}

TextOutline outlineOfTextPage(std::string_view body) {
    TextOutline result;
    PageLines lines(body);
    std::string scratch;
    for (std::string_view line; lines.next(line);) {
        const std::string_view plain = plainLine(line, scratch);
        const auto heading = findHeading(plain);
        if (!heading) continue;
        const std::string_view title = plain.substr(heading->begin, heading->end - heading->begin);
        result.chinese = result.chinese || containsCjk(title);
        result.outline.add(std::string(title), heading->level == HeadingLevel::Volume ? 1 : 2, lines.at());
        result.headings.push_back(*heading);
    }
    return result;
}

SplitHeading splitHeadingLine(std::string_view plain, const HeadingLine& heading) {
    const std::string_view before = plain.substr(0, heading.begin);
    const std::string_view rest = trimLine(plain.substr(heading.end));
    if (blank(before) && rest.empty()) return {plain, {}};
    return {plain.substr(heading.begin, heading.end - heading.begin), rest};
}

}  // namespace mobigen
