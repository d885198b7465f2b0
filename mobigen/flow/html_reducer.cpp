#include "mobigen/flow/html_reducer.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"
#include "mobigen/text/html_tokenizer.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace mobigen {
namespace {

// Past this depth start tags are ignored, which keeps end-tag matching linear.
constexpr std::size_t kMaxOpenElements = 256;

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isVoid(std::string_view name) {
    return isOneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                          "track", "wbr", "mbp:pagebreak", "basefont", "frame", "keygen"});
}

// Elements dropped with their content and reported.
bool isReportedDrop(std::string_view name) {
    return isOneOf(name, {"script", "button", "select", "textarea", "input", "option", "audio", "video", "object",
                          "embed", "iframe", "canvas", "applet", "svg", "math", "frameset"});
}

// Elements dropped with their content, silently.
bool isSilentDrop(std::string_view name) {
    return isOneOf(name, {"style", "title", "head", "meta", "link", "base", "template", "datalist", "map", "area",
                          "param", "source", "track", "noembed", "rp"});
}

bool isHeading(std::string_view name) { return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6'; }

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
    };

    void handle(HtmlToken& token) {
        if (!skipping_.empty()) {
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
            endTag(outputName(token.name));
            break;
        default:
            break;
        }
    }

    void skip(const HtmlToken& token) {
        // An unclosed <head> or <svg> must not swallow the body.
        const bool bodyStarts = token.kind == HtmlTokenKind::StartTag && token.name == "body";
        const bool bodyEnds = token.kind == HtmlTokenKind::EndTag && (token.name == "body" || token.name == "html");
        if (bodyStarts || bodyEnds) {
            skipping_.clear();
            if (bodyStarts) markIds(token, true);
            return;
        }
        if (token.kind == HtmlTokenKind::StartTag && token.name == skipping_ && !token.selfClosing) ++skipDepth_;
        if (token.kind == HtmlTokenKind::EndTag && token.name == skipping_ && skipDepth_-- == 0) skipping_.clear();
        // A cover page often wraps its picture in SVG; the picture itself is worth keeping.
        if (token.kind == HtmlTokenKind::StartTag && skipping_ == "svg" && token.name == "image") {
            const std::string* href = token.attribute("xlink:href");
            if (href == nullptr) href = token.attribute("href");
            if (href != nullptr) writeImage(*href, token);
        }
    }

    void writeText(const std::string& text) {
        // White space before the body would put a document's start ahead of its first tag.
        if (atStart_ && text.find_first_not_of(" \t\r\n") == std::string::npos) return;
        atStart_ = false;
        if (inHeading_) headingText_ += text;
        appendEscaped(flow_.body(), text, EntityContext::Text);
    }

    void startTag(const HtmlToken& token) {
        const std::string& name = token.name;
        const std::string_view out = outputName(name);
        markIds(token, out.empty() || isReportedDrop(name) || isSilentDrop(name));
        if (isReportedDrop(name) || isSilentDrop(name)) {
            if (isReportedDrop(name)) ++dropped_[name];
            if (!token.selfClosing && !isVoid(name)) {
                skipping_ = name;
                skipDepth_ = 0;
            }
            return;
        }
        if (name == "form") ++dropped_[name];  // its controls go, its text stays
        if (out.empty()) return;
        if (open_.size() >= kMaxOpenElements) return;
        closeImplied(out);
        if (out == "img") {
            if (const std::string* src = token.attribute("src")) writeImage(*src, token);
            return;
        }
        writeStartTag(token, out);
        if (isVoid(out) || token.selfClosing) {
            if (!isVoid(out)) writeEndTag(out);
            return;
        }
        const bool tocHeading = isHeading(out) && out[1] <= '3' && !inHeading_;
        open_.push_back({std::string(out), tocHeading});
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
        if (isHeading(out) && out[1] <= '3' && !inHeading_) {
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
        body += isVoid(out) ? "/>" : ">";
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

    void writeImage(const std::string& src, const HtmlToken& token) {
        const std::size_t record = hooks_.imageRecord(src);
        if (record == 0) return;
        char recindex[24];
        std::snprintf(recindex, sizeof recindex, "%05lu", static_cast<unsigned long>(record));
        atStart_ = false;
        std::string& body = flow_.body();
        body += "<img recindex=\"";
        body += recindex;
        body += '"';
        for (const std::string_view attributeName : keptAttributes("img")) {
            if (const std::string* value = token.attribute(attributeName)) appendAttribute(body, attributeName, *value);
        }
        body += "/>";
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

    void endTag(std::string_view out) {
        if (out.empty() || isVoid(out)) return;
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].name == out) {
                while (open_.size() > i) popElement();
                return;
            }
        }
    }

    void popElement() {
        if (open_.back().heading) {
            hooks_.heading(open_.back().name[1] - '0', headingText_, headingKey_);
            inHeading_ = false;
        }
        writeEndTag(open_.back().name);
        open_.pop_back();
    }

    FlowBuilder& flow_;
    ReducerHooks& hooks_;
    std::vector<OpenElement> open_;
    std::string skipping_;
    std::size_t skipDepth_ = 0;
    std::map<std::string, int> dropped_;
    bool inHeading_ = false;
    bool atStart_ = true;  // nothing written yet
    std::string headingText_;
    std::string headingKey_;
    int headingCount_ = 0;
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
