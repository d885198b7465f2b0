// The HTML tokenizer on any bytes, then the reducer and the flow builder on the same input:
// tokens move forward, the reduced markup is balanced, and every filepos lands in the flow.

#include "fuzz/fuzz_support.h"
#include "mobigen/mobi6/flow_builder.h"
#include "mobigen/mobi6/html_reducer.h"
#include "mobigen/text/html_tokenizer.h"

#include <vector>

namespace {

using namespace mobigen;

bool hasUpperCase(std::string_view name) {
    return name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string_view::npos;
}

void checkTokens(std::string_view html) {
    HtmlTokenizer tokenizer(html);
    HtmlToken token;
    std::size_t count = 0;
    std::size_t previous = 0;
    while (tokenizer.next(token)) {
        fuzz::check(count == 0 || token.offset > previous, "a token does not move forward");
        fuzz::check(token.offset < html.size(), "a token starts past the input");
        fuzz::check(++count <= html.size(), "more tokens than bytes");
        fuzz::check(!hasUpperCase(token.name), "a tag name keeps upper case");
        for (const HtmlAttribute& attribute : token.attributes)
            fuzz::check(!hasUpperCase(attribute.name), "an attribute name keeps upper case");
        previous = token.offset;
    }
}

// Deterministic answers that reach every branch of the reducer.
class Hooks : public ReducerHooks {
public:
    std::vector<std::pair<std::string, std::string>> headings;  // text, key
    std::vector<int> levels;

    std::size_t imageRecord(std::string_view src) override { return src.size() % 3; }
    LinkResolution resolveLink(std::string_view href) override {
        LinkResolution link;
        if (href.rfind("http", 0) == 0) {
            link.kind = LinkResolution::Kind::External;
            link.href = std::string(href);
        } else if (href.find('#') != std::string_view::npos) {
            link.kind = LinkResolution::Kind::Internal;
            link.target = {anchorKey(href.substr(href.find('#') + 1)), href.size() % 2 ? "doc" : ""};
        }
        return link;
    }
    std::string anchorKey(std::string_view id) override { return "doc#" + std::string(id); }
    void heading(int level, const std::string& text, const std::string& key) override {
        headings.emplace_back(text, key);
        levels.push_back(level);
    }
};

bool isVoidOutput(std::string_view name) {
    return name == "br" || name == "hr" || name == "img" || name == "mbp:pagebreak";
}

void checkBalanced(std::string_view markup) {
    std::vector<std::string> open;
    HtmlTokenizer tokenizer(markup);
    HtmlToken token;
    while (tokenizer.next(token)) {
        if (token.kind == HtmlTokenKind::StartTag && !token.selfClosing && !isVoidOutput(token.name)) {
            open.push_back(token.name);
        } else if (token.kind == HtmlTokenKind::EndTag) {
            if (open.empty() || open.back() != token.name) fuzz::fail("unbalanced </" + token.name + ">");
            open.pop_back();
        }
    }
    if (!open.empty()) fuzz::fail("<" + open.back() + "> left open");
}

void checkFileposValues(const Book& book) {
    HtmlTokenizer tokenizer(book.flow);
    HtmlToken token;
    while (tokenizer.next(token)) {
        const std::string* filepos = token.kind == HtmlTokenKind::StartTag ? token.attribute("filepos") : nullptr;
        if (filepos == nullptr) continue;
        fuzz::check(filepos->size() == 10 && filepos->find_first_not_of("0123456789") == std::string::npos,
                    "a filepos is not ten digits");
        fuzz::check(std::stoull(*filepos) < book.flow.size(), "a filepos points past the flow");
    }
    for (const TocEntry& entry : book.toc)
        fuzz::check(entry.filepos < book.flow.size(), "a TOC entry points past the flow");
    fuzz::check(book.startOffset < book.flow.size(), "the start points past the flow");
}

void checkReduced(std::string_view html) {
    FlowBuilder flow;
    Hooks hooks;
    Diagnostics diagnostics;
    flow.mark("doc");
    reduceHtmlDocument(html, flow, hooks, diagnostics, "fuzz.html");
    checkBalanced(flow.body());
    flow.endDocument();
    for (std::size_t i = 0; i < hooks.headings.size(); ++i)
        flow.addTocEntry(hooks.headings[i].first, {hooks.headings[i].second, "doc"}, hooks.levels[i] - 1);
    Book book;
    flow.finish(book, "Contents", diagnostics);
    checkFileposValues(book);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view html = fuzz::bytesOf(data, size);
    checkTokens(html);
    checkReduced(html);
    (void)lineNumberAt(html, size / 2);
    return 0;
}
