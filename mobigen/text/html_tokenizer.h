#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct HtmlAttribute {
    std::string name;   // lower case
    std::string value;  // entities decoded
};

enum class HtmlTokenKind { Text, StartTag, EndTag, Comment, Doctype, CData, ProcessingInstruction };

struct HtmlToken {
    HtmlTokenKind kind = HtmlTokenKind::Text;
    std::string name;  // tags: lower case, prefix kept ("dc:title")
    std::vector<HtmlAttribute> attributes;
    bool selfClosing = false;  // written as <x/>
    std::string text;          // Text: decoded; CData, Comment: as written
    std::size_t offset = 0;    // where the token starts in the input

    const std::string* attribute(std::string_view attributeName) const;
};

// A forgiving HTML/XML tokenizer: every input yields tokens, in one pass. A '<' that does
// not start markup is text; a tag left open at the end of the input is text; comments and
// CDATA run to the end when unclosed. script and style bodies are raw text; title and
// textarea bodies are text without tags.
class HtmlTokenizer {
public:
    explicit HtmlTokenizer(std::string_view input) : input_(input) {}

    // Fills `token` with the next token; false at the end of the input.
    bool next(HtmlToken& token);

private:
    void readText(HtmlToken& token);
    bool readRawBody(HtmlToken& token);
    bool readMarkup(HtmlToken& token);
    bool readTag(HtmlToken& token, bool endTag);
    void readAttributes(HtmlToken& token, std::size_t& pos);
    void readUntil(HtmlToken& token, HtmlTokenKind kind, std::size_t bodyStart, std::string_view terminator);

    std::string_view input_;
    std::size_t pos_ = 0;
    std::string rawEndTag_;  // set after <script>, <style>, <title>, <textarea>
    bool rawDecodes_ = false;
};

// 1-based line number of a byte offset, for messages.
std::size_t lineNumberAt(std::string_view input, std::size_t offset);

}  // namespace mobigen
