#include "mobigen/text/html_tokenizer.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"

#include <algorithm>

namespace mobigen {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Position of "</name" (any case) at or after `from`, or npos.
std::size_t findEndTag(std::string_view s, std::size_t from, std::string_view name) {
    for (std::size_t p = s.find("</", from); p != std::string_view::npos; p = s.find("</", p + 2)) {
        if (startsWithNoCase(s, p + 2, name)) return p;
    }
    return std::string_view::npos;
}

constexpr std::size_t kMaxAttributes = 64;

bool isRawTextElement(std::string_view name) { return name == "script" || name == "style"; }

bool isEscapableRawTextElement(std::string_view name) { return name == "title" || name == "textarea"; }

}  // namespace

const std::string* HtmlToken::attribute(std::string_view attributeName) const {
    for (const auto& a : attributes) {
        if (a.name == attributeName) return &a.value;
    }
    return nullptr;
}

bool HtmlTokenizer::next(HtmlToken& token) {
    token.name.clear();
    token.attributes.clear();
    token.selfClosing = false;
    token.text.clear();
    if (pos_ >= input_.size()) return false;
    token.offset = pos_;
    if (!rawEndTag_.empty() && readRawBody(token)) return true;
    if (input_[pos_] == '<' && readMarkup(token)) return true;
    readText(token);
    return true;
}

bool HtmlTokenizer::readRawBody(HtmlToken& token) {
    std::size_t end = findEndTag(input_, pos_, rawEndTag_);
    if (end == std::string_view::npos) end = input_.size();
    const std::string_view body = input_.substr(pos_, end - pos_);
    rawEndTag_.clear();
    if (body.empty()) return false;  // no empty token: every token moves forward
    token.kind = HtmlTokenKind::Text;
    token.text = rawDecodes_ ? decodeEntities(body, EntityContext::Text) : std::string(body);
    pos_ = end;
    return true;
}

void HtmlTokenizer::readText(HtmlToken& token) {
    // The first character is taken as text even when it is a '<' that starts no markup.
    std::size_t end = input_.find('<', pos_ + 1);
    if (end == std::string_view::npos) end = input_.size();
    token.kind = HtmlTokenKind::Text;
    token.text = decodeEntities(input_.substr(pos_, end - pos_), EntityContext::Text);
    pos_ = end;
}

bool HtmlTokenizer::readMarkup(HtmlToken& token) {
    const std::size_t start = pos_;
    if (input_.compare(start, 4, "<!--") == 0) {
        readUntil(token, HtmlTokenKind::Comment, start + 4, "-->");
        return true;
    }
    if (input_.compare(start, 9, "<![CDATA[") == 0) {
        readUntil(token, HtmlTokenKind::CData, start + 9, "]]>");
        return true;
    }
    if (input_.compare(start, 2, "<!") == 0) {
        readUntil(token, HtmlTokenKind::Doctype, start + 2, ">");
        return true;
    }
    if (input_.compare(start, 2, "<?") == 0) {
        readUntil(token, HtmlTokenKind::ProcessingInstruction, start + 2, ">");
        return true;
    }
    if (start + 1 < input_.size() && isAsciiLetter(input_[start + 1])) return readTag(token, false);
    if (input_.compare(start, 2, "</") == 0 && start + 2 < input_.size() && isAsciiLetter(input_[start + 2])) {
        return readTag(token, true);
    }
    return false;
}

void HtmlTokenizer::readUntil(HtmlToken& token, HtmlTokenKind kind, std::size_t bodyStart,
                              std::string_view terminator) {
    std::size_t end = input_.find(terminator, bodyStart);
    const std::size_t bodyEnd = end == std::string_view::npos ? input_.size() : end;
    token.kind = kind;
    token.text = std::string(input_.substr(bodyStart, bodyEnd - bodyStart));
    pos_ = end == std::string_view::npos ? input_.size() : end + terminator.size();
}

bool HtmlTokenizer::readTag(HtmlToken& token, bool endTag) {
    std::size_t pos = pos_ + (endTag ? 2 : 1);
    const std::size_t nameStart = pos;
    while (pos < input_.size() && !isSpace(input_[pos]) && input_[pos] != '/' && input_[pos] != '>') ++pos;
    token.name = lowerAscii(input_.substr(nameStart, pos - nameStart));
    token.kind = endTag ? HtmlTokenKind::EndTag : HtmlTokenKind::StartTag;
    readAttributes(token, pos);
    if (pos >= input_.size()) {
        // Never closed: the rest of the input is text, which keeps this linear.
        token.kind = HtmlTokenKind::Text;
        token.name.clear();
        token.attributes.clear();
        token.selfClosing = false;
        token.text = decodeEntities(input_.substr(pos_), EntityContext::Text);
        pos_ = input_.size();
        return true;
    }
    pos_ = pos + 1;  // past '>'
    if (endTag) {
        token.attributes.clear();
        token.selfClosing = false;
    } else if (!token.selfClosing && (isRawTextElement(token.name) || isEscapableRawTextElement(token.name))) {
        rawEndTag_ = token.name;
        rawDecodes_ = isEscapableRawTextElement(token.name);
    }
    return true;
}

void HtmlTokenizer::readAttributes(HtmlToken& token, std::size_t& pos) {
    const std::size_t n = input_.size();
    while (pos < n) {
        while (pos < n && isSpace(input_[pos])) ++pos;
        if (pos >= n) return;
        if (input_[pos] == '>') return;
        if (input_[pos] == '/') {
            ++pos;
            if (pos < n && input_[pos] == '>') token.selfClosing = true;
            continue;
        }
        const std::size_t nameStart = pos;
        ++pos;  // a stray '=' or quote still counts as one name character
        while (pos < n && !isSpace(input_[pos]) && input_[pos] != '=' && input_[pos] != '>' && input_[pos] != '/')
            ++pos;
        HtmlAttribute attribute{lowerAscii(input_.substr(nameStart, pos - nameStart)), {}};
        while (pos < n && isSpace(input_[pos])) ++pos;
        if (pos < n && input_[pos] == '=') {
            ++pos;
            while (pos < n && isSpace(input_[pos])) ++pos;
            std::size_t valueStart = pos;
            std::size_t valueEnd = pos;
            if (pos < n && (input_[pos] == '"' || input_[pos] == '\'')) {
                const char quote = input_[pos];
                valueStart = pos + 1;
                valueEnd = input_.find(quote, valueStart);
                if (valueEnd == std::string_view::npos) {
                    pos = n;
                    return;
                }
                pos = valueEnd + 1;
            } else {
                while (pos < n && !isSpace(input_[pos]) && input_[pos] != '>') ++pos;
                valueEnd = pos;
            }
            attribute.value =
                decodeEntities(input_.substr(valueStart, valueEnd - valueStart), EntityContext::Attribute);
        }
        // The cap keeps the duplicate check linear on hostile input.
        const bool keep = token.attributes.size() < kMaxAttributes && token.attribute(attribute.name) == nullptr;
        if (keep) token.attributes.push_back(std::move(attribute));
    }
}

std::size_t lineNumberAt(std::string_view input, std::size_t offset) {
    offset = std::min(offset, input.size());
    return 1 + static_cast<std::size_t>(
                   std::count(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

}  // namespace mobigen
