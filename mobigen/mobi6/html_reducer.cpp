#include "mobigen/mobi6/html_reducer.h"

#include "mobigen/images/images.h"
#include "mobigen/markup/css.h"
#include "mobigen/markup/html_elements.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"
#include "mobigen/text/html_tokenizer.h"
#include "mobigen/text/language.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

namespace mobigen {
namespace {

// MOBI 6 cannot draw SVG either.
ElementDrop mobiDropOf(std::string_view name) { return name == "svg" ? ElementDrop::Reported : dropOf(name); }

bool isHeading(std::string_view name) { return headingLevel(name) > 0; }

// The element written for one read: itself, a stand-in, or "" (only its content is kept).
std::string_view outputName(std::string_view name) {
    if (isHeading(name) ||
        isOneOf(name, {"p",     "div", "b",   "i",    "u",          "s",   "em", "strong", "sup",          "sub",
                       "small", "big", "tt",  "code", "blockquote", "ul",  "ol", "li",     "table",        "tr",
                       "td",    "th",  "img", "br",   "hr",         "pre", "a",  "font",   "mbp:pagebreak"})) {
        return name;
    }
    if (isOneOf(name, {"section", "article", "header", "footer", "main", "aside", "nav", "figure", "figcaption",
                       "address", "hgroup", "details", "summary", "dl", "dt", "center", "caption", "body"})) {
        return name == "body" ? "" : "div";
    }
    if (name == "dd") return "blockquote";
    if (isOneOf(name, {"cite", "var", "dfn"})) return "i";
    if (isOneOf(name, {"kbd", "samp"})) return "code";
    if (isOneOf(name, {"strike", "del"})) return "s";
    if (name == "ins") return "u";
    return "";
}

bool closesParagraph(std::string_view out) {
    return isHeading(out) || isOneOf(out, {"p", "div", "ul", "ol", "table", "blockquote", "pre", "hr"});
}

std::vector<std::string_view> keptAttributes(std::string_view out) {
    if (out == "p" || out == "div" || isHeading(out)) return {"align"};
    if (out == "td" || out == "th") return {"align", "valign", "colspan", "rowspan", "width"};
    if (out == "table") return {"border", "width", "cellpadding", "cellspacing", "align"};
    if (out == "tr") return {"align", "valign"};
    if (out == "ol") return {"start", "type"};
    if (out == "ul") return {"type"};
    if (out == "li") return {"value", "type"};
    if (out == "font") return {"size", "color", "face"};
    if (out == "hr") return {"width", "size", "align"};
    if (out == "img") return {"width", "height", "alt", "align"};
    return {};
}

// "text-align: center" in a style attribute, as an align value.
std::string alignFromStyle(const std::string* style) {
    if (style == nullptr) return {};
    const std::string css = lowerAscii(*style);
    const std::size_t at = css.find("text-align");
    if (at == std::string::npos) return {};
    for (const char* value : {"center", "right", "left", "justify"}) {
        const std::size_t found = css.find(value, at);
        if (found != std::string::npos && css.find_first_of(";", at) >= found) return value;
    }
    return {};
}

// vertical-align: super, or a positive shift such as 0.4em or 33%. The last one counts.
bool raisesText(std::string_view declarations) {
    bool raised = false;
    for (const CssDeclaration& declaration : cssDeclarations(declarations)) {
        if (declaration.name != "vertical-align") continue;
        const std::string value = lowerAscii(trimAsciiSpaces(declaration.value.substr(0, declaration.value.find('!'))));
        const std::size_t digit = value.find_first_of("123456789");
        raised =
            value == "super" || (!value.empty() && (isAsciiDigit(value[0]) || value[0] == '.' || value[0] == '+') &&
                                 digit != std::string::npos && digit < value.find_first_not_of("+.0123456789"));
    }
    return raised;
}

// The classes of the last compound selector: ".note" in "p a.note" but not in ".note a".
void addSelectorClasses(std::string_view selector, std::set<std::string>& classes) {
    selector = trimAsciiSpaces(selector);
    const std::size_t combinator = selector.find_last_of(" \t\r\n>+~");
    if (combinator != std::string_view::npos) selector = selector.substr(combinator + 1);
    for (std::size_t dot = selector.find('.'); dot != std::string_view::npos; dot = selector.find('.', dot + 1)) {
        std::size_t end = dot + 1;
        while (end < selector.size() && (isAsciiAlnum(selector[end]) || selector[end] == '-' || selector[end] == '_' ||
                                         static_cast<unsigned char>(selector[end]) >= 0x80))
            ++end;
        if (end > dot + 1) classes.emplace(selector.substr(dot + 1, end - dot - 1));
    }
}

// Classes whose rules raise text, the way books style note references. Rules inside @media
// and @supports count; other at-rules (@font-face, @page) are passed over.
class RaisedClassReader : public CssRuleReader {
public:
    explicit RaisedClassReader(std::set<std::string>& classes) : classes_(classes) {}

    void styleRule(std::string_view selectors, std::string_view declarations) override {
        if (!raisesText(declarations)) return;
        for (const std::string_view selector : splitCssList(selectors, ',')) addSelectorClasses(selector, classes_);
    }

    void blockAtRule(const std::string& name, std::string_view, std::string_view body) override {
        if (name == "media" || name == "supports") readCssRules(body, *this);
    }

private:
    std::set<std::string>& classes_;
};

void addRaisedClasses(std::string_view stylesheet, std::set<std::string>& classes) {
    RaisedClassReader reader(classes);
    readCssRules(withoutCssComments(stylesheet), reader);
}

bool hasWord(std::string_view list, std::string_view word) {
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find_first_of(" \t\r\n", at), list.size());
        if (list.substr(at, end - at) == word) return true;
        at = end + 1;
    }
    return false;
}

bool isNoteReference(const HtmlToken& token) {
    const std::string* type = token.attribute("epub:type");
    const std::string* role = token.attribute("role");
    return (type != nullptr && hasWord(*type, "noteref")) || (role != nullptr && hasWord(*role, "doc-noteref"));
}

// Inline elements that may stand for a superscript; a raised paragraph is left as it is.
bool canBeRaised(std::string_view name) {
    return isOneOf(name, {"a", "span", "small", "em", "i", "b", "strong", "cite"});
}

struct QuoteMarks {
    std::string_view open, close, innerOpen, innerClose;
};

QuoteMarks quoteMarksFor(std::string_view language) {
    if (startsWithNoCase(language, 0, "ja") || isTraditionalChinese(language))
        return {u8"\u300C", u8"\u300D", u8"\u300E", u8"\u300F"};
    return {u8"\u201C", u8"\u201D", u8"\u2018", u8"\u2019"};
}

std::string_view extensionOf(std::string_view path) {
    const std::size_t dot = path.find_last_of("./");
    return dot == std::string_view::npos || path[dot] != '.' ? std::string_view() : path.substr(dot + 1);
}

// An <object> a MOBI reader can show: a raster picture.
const std::string* objectPicture(const HtmlToken& token) {
    const std::string* data = token.attribute("data");
    if (data == nullptr || data->empty()) return nullptr;
    const std::string* type = token.attribute("type");
    const std::string kind = lowerAscii(type != nullptr ? *type : extensionOf(*data));
    return isOneOf(kind, {"image/jpeg", "image/png", "image/gif", "image/bmp", "jpg", "jpeg", "png", "gif", "bmp"})
               ? data
               : nullptr;
}

// The markup of the element starting at `offset`, up to its matching end tag (or the end).
std::string_view elementSource(std::string_view html, std::size_t offset, const std::string& name) {
    HtmlTokenizer tokenizer(html.substr(offset));
    HtmlToken token;
    std::size_t depth = 0;
    while (tokenizer.next(token)) {
        if (token.kind == HtmlTokenKind::StartTag && token.name == name && !token.selfClosing) ++depth;
        if (token.kind == HtmlTokenKind::EndTag && token.name == name && --depth == 0) {
            const std::size_t close = html.find('>', offset + token.offset);
            return html.substr(offset, close == std::string_view::npos ? std::string_view::npos : close + 1 - offset);
        }
    }
    return html.substr(offset);
}

void appendImageTag(std::string& body, std::size_t record) {
    char recindex[24];
    std::snprintf(recindex, sizeof recindex, "%05lu", static_cast<unsigned long>(record));
    body += "<img recindex=\"";
    body += recindex;
    body += '"';
}

void appendAttribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value, EntityContext::Attribute);
    out += '"';
}

class DocumentReducer {
public:
    DocumentReducer(FlowBuilder& flow, ReducerHooks& hooks) : flow_(flow), hooks_(hooks) {}

    void run(std::string_view html) {
        html_ = html;
        HtmlTokenizer tokenizer(html);
        HtmlToken token;
        while (tokenizer.next(token)) handle(token);
        while (!open_.empty()) popElement();
    }

    std::string droppedSummary() const {
        std::string summary;
        for (const auto& d : dropped_) {
            if (!summary.empty()) summary += ", ";
            summary += std::to_string(d.second) + " " + d.first;
        }
        return summary;
    }

private:
    struct OpenElement {
        std::string name;  // as written out
        bool heading;
        std::string source;   // the element read
        bool raised = false;  // made a superscript here: a note reference, or styled as one
    };

    void handle(HtmlToken& token) {
        noteStyles(token);
        if (skipper_.active()) {
            skip(token);
            return;
        }
        switch (token.kind) {
        case HtmlTokenKind::Text:
        case HtmlTokenKind::CData:
            writeText(token.text);
            break;
        case HtmlTokenKind::StartTag:
            startTag(token);
            break;
        case HtmlTokenKind::EndTag:
            if (token.name == "q") closeQuote();
            endTag(outputName(token.name), token.name);
            break;
        default:
            break;
        }
    }

    void skip(const HtmlToken& token) {
        if (!skipper_.skip(token)) {
            if (token.kind == HtmlTokenKind::StartTag) markIds(token, true);
            return;
        }
        // A cover page often wraps its picture in SVG; the picture itself is worth keeping.
        if (token.kind == HtmlTokenKind::StartTag && skipper_.element() == "svg" && token.name == "image" &&
            !svgRendered_) {
            const std::string* href = svgImageHref(token);
            if (href != nullptr && writeImage(*href, token) && !svgShown_) {
                svgShown_ = true;  // not lost, so not reported
                if (--dropped_["svg"] == 0) dropped_.erase("svg");
            }
        }
    }

    // Stylesheets are read only for the classes that raise text.
    void noteStyles(const HtmlToken& token) {
        if (token.kind == HtmlTokenKind::StartTag && token.name == "style" && !token.selfClosing) inStyle_ = true;
        if (token.kind == HtmlTokenKind::EndTag && token.name == "style") inStyle_ = false;
        if (token.kind == HtmlTokenKind::Text && inStyle_) addRaisedClasses(token.text, raisedClasses_);
        if (token.kind == HtmlTokenKind::StartTag && token.name == "link") {
            const std::string* rel = token.attribute("rel");
            const std::string* href = token.attribute("href");
            if (rel != nullptr && href != nullptr && hasWord(lowerAscii(*rel), "stylesheet"))
                addRaisedClasses(hooks_.stylesheet(*href), raisedClasses_);
        }
        if (token.kind == HtmlTokenKind::StartTag && token.name == "html") {
            const std::string* lang = token.attribute("xml:lang");
            if (lang == nullptr) lang = token.attribute("lang");
            if (lang != nullptr) documentLanguage_ = *lang;
        }
    }

    bool isRaised(const HtmlToken& token) const {
        if (isNoteReference(token)) return true;
        const std::string* style = token.attribute("style");
        if (style != nullptr && raisesText(withoutCssComments(*style))) return true;
        const std::string* classes = token.attribute("class");
        if (classes == nullptr) return false;
        for (const std::string& name : raisedClasses_)
            if (hasWord(*classes, name)) return true;
        return false;
    }

    bool insideSuperscript() const {
        return raisedDepth_ > 0 ||
               std::any_of(open_.begin(), open_.end(), [](const OpenElement& e) { return e.name == "sup"; });
    }

    void openQuote() {
        if (quoteDepth_ == 0) {
            const std::string language = hooks_.language();
            quoteMarks_ = quoteMarksFor(language.empty() ? documentLanguage_ : language);
        }
        appendText(quoteDepth_++ % 2 == 0 ? quoteMarks_.open : quoteMarks_.innerOpen);
    }

    void closeQuote() {
        if (quoteDepth_ == 0) return;
        appendText(--quoteDepth_ % 2 == 0 ? quoteMarks_.close : quoteMarks_.innerClose);
    }

    void appendText(std::string_view text) {
        atStart_ = false;
        if (inHeading_ && raisedDepth_ == 0) headingText_ += text;
        flow_.append(text);
    }

    void writeText(const std::string& text) {
        // White space before the body would put a document's start ahead of its first tag.
        if (atStart_ && text.find_first_not_of(" \t\r\n") == std::string::npos) return;
        atStart_ = false;
        // A note's number is not part of the heading's title.
        if (inHeading_ && raisedDepth_ == 0) headingText_ += text;
        appendEscaped(flow_.body(), text, EntityContext::Text);
    }

    void startTag(const HtmlToken& token) {
        const std::string& name = token.name;
        std::string_view out = outputName(name);
        const ElementDrop drop = mobiDropOf(name);
        markIds(token, out.empty() || drop != ElementDrop::Kept);
        if (name == "object" && !token.selfClosing && showsObjectPicture(token)) {
            skipper_.start(name);  // the picture stands for its fallback
            return;
        }
        if (name == "q" && !token.selfClosing) openQuote();
        if (name == "svg") svgShown_ = svgRendered_ = false;
        if (drop != ElementDrop::Kept) {
            if (name == "svg" && !token.selfClosing) svgRendered_ = svgShown_ = writeInlineSvg(token);
            if (drop == ElementDrop::Reported && !svgShown_) ++dropped_[name];
            if (!token.selfClosing && !isVoidElement(name)) skipper_.start(name);
            return;
        }
        if (name == "form") ++dropped_[name];          // its controls go, its text stays
        if (out == "sup" && raisedDepth_ > 0) return;  // already raised
        const bool raised = canBeRaised(name) && isRaised(token) && !insideSuperscript();
        if (raised && out.empty()) out = "sup";
        if (out.empty()) return;
        if (open_.size() >= kMaxOpenElements) return;
        closeImplied(out);
        if (out == "img") {
            if (const std::string* src = token.attribute("src")) writeImage(*src, token);
            return;
        }
        const bool wrapInSup = raised && out != "sup";
        if (wrapInSup) flow_.append("<sup>");
        writeStartTag(token, out);
        if (isVoidElement(out) || token.selfClosing) {
            if (!isVoidElement(out)) writeEndTag(out);
            if (wrapInSup) writeEndTag("sup");
            return;
        }
        const bool tocHeading = isContentsHeading(out) && !inHeading_;
        open_.push_back({std::string(out), tocHeading, name, raised});
        if (raised) ++raisedDepth_;
        if (tocHeading) {
            inHeading_ = true;
            headingText_.clear();
        }
    }

    void markIds(const HtmlToken& token, bool tagIsDropped) {
        const std::string* id = token.attribute("id");
        const std::string* anchorName = token.name == "a" ? token.attribute("name") : nullptr;
        if ((id == nullptr || id->empty()) && (anchorName == nullptr || anchorName->empty())) return;
        if (id != nullptr && !id->empty()) flow_.mark(hooks_.anchorKey(*id));
        if (anchorName != nullptr && !anchorName->empty()) flow_.mark(hooks_.anchorKey(*anchorName));
        // A link should land on a tag; put one where the element itself is not written.
        if (tagIsDropped) {
            flow_.append("<a></a>");
            atStart_ = false;
        }
    }

    void writeStartTag(const HtmlToken& token, std::string_view out) {
        if (isContentsHeading(out) && !inHeading_) {
            headingKey_ = hooks_.anchorKey("\x01heading" + std::to_string(++headingCount_));
            flow_.mark(headingKey_);
        }
        atStart_ = false;
        std::string& body = flow_.body();
        body += '<';
        body += out;
        if (out == "a") writeLinkTarget(token);
        for (const std::string_view attributeName : keptAttributes(out)) {
            const std::string* value = token.attribute(attributeName);
            std::string fromStyle;
            if (value == nullptr && attributeName == "align") {
                fromStyle = token.name == "center" ? "center" : alignFromStyle(token.attribute("style"));
                if (!fromStyle.empty()) value = &fromStyle;
            }
            if (value != nullptr) appendAttribute(body, attributeName, *value);
        }
        body += isVoidElement(out) ? "/>" : ">";
    }

    void writeLinkTarget(const HtmlToken& token) {
        const std::string* href = token.attribute("href");
        if (href == nullptr || href->empty()) return;
        LinkResolution link = hooks_.resolveLink(*href);
        if (link.kind == LinkResolution::Kind::External) {
            appendAttribute(flow_.body(), "href", link.href);
        } else if (link.kind == LinkResolution::Kind::Internal) {
            flow_.append(" ");
            flow_.appendFilepos(std::move(link.target));
        }
    }

    bool showsObjectPicture(const HtmlToken& token) {
        const std::string* data = objectPicture(token);
        return data != nullptr && writeImage(*data, token);
    }

    // An SVG drawing shapes becomes a picture of its own; one that only wraps a picture is
    // shown as that picture.
    bool writeInlineSvg(const HtmlToken& token) {
        const std::string_view svg = elementSource(html_, token.offset, token.name);
        if (!svgDrawsShapes(svg)) return false;
        const std::size_t record = hooks_.inlineSvgRecord(svg);
        if (record == 0) return false;
        atStart_ = false;
        appendImageTag(flow_.body(), record);
        flow_.append("/>");
        return true;
    }

    bool writeImage(const std::string& src, const HtmlToken& token) {
        const std::size_t record = hooks_.imageRecord(src);
        if (record == 0) return false;
        atStart_ = false;
        std::string& body = flow_.body();
        appendImageTag(body, record);
        for (const std::string_view attributeName : keptAttributes("img")) {
            if (const std::string* value = token.attribute(attributeName)) appendAttribute(body, attributeName, *value);
        }
        body += "/>";
        return true;
    }

    void writeEndTag(std::string_view out) {
        std::string& body = flow_.body();
        body += "</";
        body += out;
        body += '>';
    }

    // The end tags HTML implies: a block closes an open paragraph, a list item the previous
    // item, a cell the previous cell, a row the previous row, a link an open link.
    void closeImplied(std::string_view out) {
        if (closesParagraph(out) && !open_.empty() && open_.back().name == "p") popElement();
        if (out == "li") closeOpen({"li"}, {"ul", "ol"});
        if (out == "td" || out == "th") closeOpen({"td", "th"}, {"tr", "table"});
        if (out == "tr") closeOpen({"tr"}, {"table"});
        if (out == "a") closeOpen({"a"}, {});
    }

    void closeOpen(std::initializer_list<std::string_view> targets, std::initializer_list<std::string_view> barriers) {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (isOneOf(open_[i].name, barriers)) return;
            if (isOneOf(open_[i].name, targets)) {
                while (open_.size() > i) popElement();
                return;
            }
        }
    }

    void endTag(std::string_view out, std::string_view source) {
        if (isVoidElement(out)) return;
        for (std::size_t i = open_.size(); i-- > 0;) {
            if ((!out.empty() && open_[i].name == out) || open_[i].source == source) {
                while (open_.size() > i) popElement();
                return;
            }
        }
    }

    void popElement() {
        if (open_.back().heading) {
            hooks_.heading(headingLevel(open_.back().name), headingText_, headingKey_);
            inHeading_ = false;
        }
        writeEndTag(open_.back().name);
        if (open_.back().raised) {
            if (open_.back().name != "sup") writeEndTag("sup");
            --raisedDepth_;
        }
        open_.pop_back();
    }

    FlowBuilder& flow_;
    ReducerHooks& hooks_;
    std::string_view html_;
    std::vector<OpenElement> open_;
    ElementSkipper skipper_;
    std::map<std::string, int> dropped_;
    bool inHeading_ = false;
    bool atStart_ = true;  // nothing written yet
    std::string headingText_;
    std::string headingKey_;
    int headingCount_ = 0;
    bool svgShown_ = false;     // the SVG being skipped was kept as a picture
    bool svgRendered_ = false;  // ... drawn whole, not by the picture it wraps
    bool inStyle_ = false;
    std::set<std::string> raisedClasses_;
    int raisedDepth_ = 0;
    std::string documentLanguage_;
    QuoteMarks quoteMarks_;
    int quoteDepth_ = 0;
};

}  // namespace

void reduceHtmlDocument(std::string_view html, FlowBuilder& flow, ReducerHooks& hooks, Diagnostics& diagnostics,
                        const std::string& documentName) {
    DocumentReducer reducer(flow, hooks);
    reducer.run(html);
    const std::string dropped = reducer.droppedSummary();
    if (!dropped.empty()) {
        diagnostics.warn("Left out of " + documentName + " (MOBI readers cannot show them): " + dropped + ".");
    }
}

}  // namespace mobigen

namespace mobigen {
namespace {

// The text of one SVG <text> element: its <tspan>s are often lines or words placed apart.
class SvgTextLines {
public:
    explicit SvgTextLines(FlowBuilder& flow) : flow_(flow) {}

    void read(const HtmlToken& token) {
        const bool start = token.kind == HtmlTokenKind::StartTag && !token.selfClosing;
        if (start && token.name == "text") ++depth_;
        if (start && token.name == "tspan") line_ += ' ';
        if (token.kind == HtmlTokenKind::Text && depth_ > 0) line_ += token.text;
        if (token.kind == HtmlTokenKind::EndTag && token.name == "text" && depth_ > 0 && --depth_ == 0) flush();
    }

    void flush() {
        const std::string text = collapseAsciiSpaces(line_);
        line_.clear();
        if (text.empty()) return;
        flow_.append("<p>");
        appendEscaped(flow_.body(), text, EntityContext::Text);
        flow_.append("</p>");
        shown_ = true;
    }

    bool shown() const { return shown_; }

private:
    FlowBuilder& flow_;
    std::string line_;
    int depth_ = 0;
    bool shown_ = false;
};

}  // namespace

bool reduceSvgDocument(std::string_view svg, std::size_t rendering, FlowBuilder& flow, ReducerHooks& hooks) {
    HtmlTokenizer tokenizer(svg);
    HtmlToken token;
    SvgTextLines lines(flow);
    bool shownPicture = rendering != 0;
    if (shownPicture) appendImagePage(rendering, flow);
    while (tokenizer.next(token)) {
        if (token.kind == HtmlTokenKind::StartTag && token.name == "image" && rendering == 0) {
            const std::string* href = svgImageHref(token);
            const std::size_t record = href != nullptr ? hooks.imageRecord(*href) : 0;
            if (record != 0) appendImagePage(record, flow);
            shownPicture = shownPicture || record != 0;
        }
        lines.read(token);
    }
    lines.flush();
    return shownPicture || lines.shown();
}

void appendImagePage(std::size_t record, FlowBuilder& flow) {
    flow.append("<div align=\"center\">");
    appendImageTag(flow.body(), record);
    flow.append("/></div>");
}

}  // namespace mobigen
