#include "mobigen/kf8/xhtml_writer.h"

#include "mobigen/kf8/content_model.h"
#include "mobigen/kf8/markup.h"
#include "mobigen/kf8/svg_passthrough.h"
#include "mobigen/markup/html_elements.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"
#include "mobigen/text/html_tokenizer.h"

#include <algorithm>
#include <set>

namespace mobigen {
namespace {

// The stack holds at most kMaxOpenElements elements, each with at most two wrappers (a row
// and its cell), and a repair step closes one or opens at most those two: a repair ends
// within this. The bound only stops a rule that would loop.
constexpr std::size_t kMaxRepairSteps = 3 * kMaxOpenElements + 3;

bool isWhitespace(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

bool isNumericLength(std::string_view value) {
    return !value.empty() && value.find_first_not_of("0123456789.%") == std::string_view::npos;
}

class DocumentWriter {
public:
    DocumentWriter(XhtmlHooks& hooks, bool headingIds) : hooks_(hooks), headingIds_(headingIds) {}

    // svg_ writes into this writer's own members.
    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    XhtmlResult run(std::string_view html) {
        HtmlTokenizer tokenizer(html);
        HtmlToken token;
        while (tokenizer.next(token)) handle(token);
        svg_.closeAll();
        while (!open_.empty()) pop();
        finishHead();
        if (body_.find('<') == std::string::npos) body_ += "<div></div>";
        XhtmlResult result;
        result.document = xhtmlDocument(title_, head_, bodyAttributes_, body_, language_);
        result.headings = std::move(headings_);
        result.dropped = std::move(dropped_);
        return result;
    }

private:
    struct Open {
        std::string input;  // name as read; empty for an element the writer added
        std::string name;   // as written
        Place place;
        Holds holds;
        bool heading;
        std::size_t start = 0;  // of its start tag in body_
        bool hasId = false;
        bool hasChild = false;
    };

    void handle(const HtmlToken& token) {
        if (svg_.open()) {
            if (!svg_.take(token)) endTag(token.name);
            return;
        }
        if (skipper_.active()) {
            skip(token);
            return;
        }
        switch (token.kind) {
        case HtmlTokenKind::Text:
        case HtmlTokenKind::CData:
            text(token.text);
            break;
        case HtmlTokenKind::StartTag:
            startTag(token);
            break;
        case HtmlTokenKind::EndTag:
            endTag(token.name);
            break;
        default:
            break;
        }
    }

    void skip(const HtmlToken& token) {
        if (inTitle_ && token.kind == HtmlTokenKind::Text && title_.empty()) title_ = collapseAsciiSpaces(token.text);
        if (skipper_.element() == "style" && token.kind == HtmlTokenKind::Text)
            styles_ += hooks_.style(token.text, false, false);
        if (!skipper_.skip(token)) {
            if (token.kind == HtmlTokenKind::StartTag) startTag(token);
            return;
        }
        inTitle_ = token.kind == HtmlTokenKind::StartTag && token.name == "title";
    }

    void headTag(const HtmlToken& token) {
        const std::string* rel = token.attribute("rel");
        const std::string* href = token.attribute("href");
        if (token.name == "link" && rel != nullptr && href != nullptr &&
            lowerAscii(*rel).find("stylesheet") != std::string::npos &&
            lowerAscii(*rel).find("alternate") == std::string::npos) {
            const auto address = hooks_.stylesheet(*href);
            if (address && std::find(sheets_.begin(), sheets_.end(), *address) == sheets_.end())
                sheets_.push_back(*address);
        }
        const std::string* name = token.attribute("name");
        const std::string* content = token.attribute("content");
        if (token.name == "meta" && name != nullptr && content != nullptr && lowerAscii(*name) == "viewport" &&
            declaredViewport_.empty())
            declaredViewport_ = *content;
    }

    void text(const std::string& content) {
        if (!inBody_) {
            if (isWhitespace(content)) return;
            beginBody(nullptr);
        }
        if (isWhitespace(content)) {
            if (!open_.empty() || !body_.empty()) appendXmlEscaped(body_, content, false);
            return;
        }
        if (!place(Place::Inline, nullptr)) return;
        if (openHeadings_ > 0) headingText_ += content;
        appendXmlEscaped(body_, content, false);
    }

    void startTag(const HtmlToken& token) {
        const std::string& name = token.name;
        if (name == "html") {
            language_ = languageOf(token);
            return;
        }
        if (!inBody_ && (name == "head" || name == "title" || name == "meta" || name == "link" || name == "style" ||
                         name == "base" || name == "script")) {
            headElement(token);
            return;
        }
        if (name == "body") {
            if (!inBody_) beginBody(&token);
            return;
        }
        if (!inBody_) beginBody(nullptr);
        if (name == "style" && !token.selfClosing) {
            skipper_.start("style");
            return;
        }
        if (svgLocalName(name) == "svg") {
            if (!place(Place::Inline, nullptr)) return;
            noteChild();
            svg_.take(token);
            return;
        }
        if (const ElementDrop drop = dropOf(name); drop != ElementDrop::Kept) {
            if (drop == ElementDrop::Reported) ++dropped_[name];
            if (!token.selfClosing && !isVoidElement(name)) skipper_.start(name);
            return;
        }
        if (name == "form" || name == "object") ++dropped_[name];  // the content stays: text, or a fallback
        const XhtmlKind* kind = xhtmlKindOf(name);
        if (kind == nullptr || open_.size() >= kMaxOpenElements) return;
        element(token, *kind);
    }

    void headElement(const HtmlToken& token) {
        if (token.name == "head") return;
        if (token.name == "title" || token.name == "style" || token.name == "script") {
            if (token.selfClosing) return;
            skipper_.start(token.name);
            inTitle_ = token.name == "title";
            return;
        }
        headTag(token);
    }

    void beginBody(const HtmlToken* body) {
        inBody_ = true;
        if (body == nullptr) return;
        appendCommonAttributes(bodyAttributes_, *body, XhtmlKind{"body", Place::Block, Holds::Blocks, {}}, true);
    }

    void element(const HtmlToken& token, XhtmlKind kind) {
        if (kind.name == "a") closeOpen("a");
        if (!place(kind.place, &kind)) return;
        const bool isImage = kind.name == "img";
        std::optional<XhtmlImage> image;
        if (isImage) {
            const std::string* src = token.attribute("src");
            if (src != nullptr) image = hooks_.image(*src);
            if (!image) return;
            if (!image->inlineSvg.empty()) {
                noteChild();
                body_ += image->inlineSvg;
                return;
            }
        }
        std::string tag = "<" + std::string(kind.name);
        const bool heading = isContentsHeading(kind.name);
        std::string id = appendCommonAttributes(tag, token, kind, false);
        if (heading && id.empty() && headingIds_) {
            id = uniqueId("kf8-heading-" + std::to_string(headings_.size() + 1));
            appendXmlAttribute(tag, "id", id);
        }
        appendSpecificAttributes(tag, token, kind.name, image);
        const bool empty = kind.holds == Holds::Nothing;
        tag += empty ? "/>" : ">";
        noteChild();
        const std::size_t start = body_.size();
        body_ += tag;
        if (empty) return;
        if (token.selfClosing) {
            body_ += "</" + std::string(kind.name) + ">";
            return;
        }
        open_.push_back({token.name, std::string(kind.name), kind.place, kind.holds, heading, start, !id.empty()});
        if (heading) {
            ++openHeadings_;
            headingText_.clear();
            headingId_ = id;
        }
    }

    // Returns the id written, if any.
    std::string appendCommonAttributes(std::string& tag, const HtmlToken& token, const XhtmlKind& kind, bool onRoot) {
        const std::string_view extraStyle = kind.style;
        std::string id;
        const std::string* idValue = token.attribute("id");
        if (idValue == nullptr && token.name == "a") idValue = token.attribute("name");
        if (idValue != nullptr && !idValue->empty()) {
            const std::string candidate = xmlId(*idValue);
            if (ids_.insert(candidate).second) {
                id = candidate;
                appendXmlAttribute(tag, "id", id);
            }
        }
        std::string classes = renamedClass(token.name, kind.name);
        if (const std::string* cls = token.attribute("class"); cls != nullptr && !isWhitespace(*cls))
            classes += (classes.empty() ? "" : " ") + collapseAsciiSpaces(*cls);
        if (!classes.empty()) appendXmlAttribute(tag, "class", classes);
        if (const std::string* title = token.attribute("title"); title != nullptr && !title->empty())
            appendXmlAttribute(tag, "title", *title);
        if (const std::string* dir = token.attribute("dir"); dir != nullptr && (*dir == "ltr" || *dir == "rtl"))
            appendXmlAttribute(tag, "dir", *dir);
        else if (token.name == "bdo")
            appendXmlAttribute(tag, "dir", "ltr");
        const std::string language = languageOf(token);
        if (!language.empty()) appendXmlAttribute(tag, "xml:lang", language);
        std::string style(extraStyle);
        if (const std::string* align = token.attribute("align");
            align != nullptr && isOneOf(token.name, {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6"})) {
            const std::string value = lowerAscii(*align);
            if (isOneOf(value, {"left", "right", "center", "justify"})) style += "text-align: " + value;
        }
        if (const std::string* inline_ = token.attribute("style")) {
            const std::string kept = hooks_.style(*inline_, true, onRoot);
            if (!kept.empty()) style += (style.empty() ? "" : "; ") + kept;
        }
        if (!style.empty()) appendXmlAttribute(tag, "style", style, true);
        return id;
    }

    void appendSpecificAttributes(std::string& tag, const HtmlToken& token, std::string_view name,
                                  const std::optional<XhtmlImage>& image) {
        const auto copy = [&](std::initializer_list<std::string_view> names) {
            for (const auto n : names) {
                if (const std::string* value = token.attribute(n)) appendXmlAttribute(tag, n, *value);
            }
        };
        if (name == "a") {
            const std::string* href = token.attribute("href");
            if (href != nullptr && !href->empty()) {
                if (const auto address = hooks_.link(*href)) appendXmlAttribute(tag, "href", *address);
            }
        } else if (name == "img") {
            appendXmlAttribute(tag, "src", image->src, true);
            const std::string* alt = token.attribute("alt");
            appendXmlAttribute(tag, "alt", alt != nullptr ? *alt : std::string());
            for (const auto n : {"width", "height"}) {
                const std::string* value = token.attribute(n);
                if (value != nullptr && isNumericLength(*value)) appendXmlAttribute(tag, n, *value);
            }
        } else if (name == "td" || name == "th") {
            for (const auto n : {"colspan", "rowspan"}) {
                const std::string* value = token.attribute(n);
                if (value != nullptr && isNumericLength(*value) && value->find_first_of(".%") == std::string::npos)
                    appendXmlAttribute(tag, n, *value);
            }
            copy({"align", "valign", "abbr", "scope"});
        } else if (name == "table") {
            copy({"border", "cellpadding", "cellspacing", "width", "summary"});
        } else if (isOneOf(name, {"tr", "thead", "tbody", "tfoot"})) {
            copy({"align", "valign"});
        }
    }

    static std::string languageOf(const HtmlToken& token) {
        const std::string* lang = token.attribute("xml:lang");
        if (lang == nullptr) lang = token.attribute("lang");
        if (lang == nullptr) return {};
        std::string tag;
        for (const char c : *lang) {
            if (isAsciiAlnum(c) || c == '-') tag += c;
        }
        return tag;
    }

    std::string uniqueId(const std::string& wanted) {
        std::string id = wanted;
        for (int n = 2; !ids_.insert(id).second; ++n) id = wanted + "-" + std::to_string(n);
        return id;
    }

    // Makes room for an element (or text, `kind` null) that stands at `where`: closes what
    // cannot hold it and opens what must surround it. False when it must be left out.
    bool place(Place where, XhtmlKind* kind) {
        for (std::size_t step = 0; step < kMaxRepairSteps; ++step) {
            Innermost innermost;
            if (!open_.empty()) innermost = {true, open_.back().place, open_.back().holds};
            const bool inFlow = where == Place::Block || where == Place::Inline;
            const Repair repair = nextRepair(innermost, where, kind, !inFlow && isOpenAbove(where));
            switch (repair.action) {
            case RepairAction::Fits:
                return true;
            case RepairAction::BecomeSpan:
                *kind = {"span", Place::Inline, Holds::Inlines, "display: block"};
                return true;
            case RepairAction::CloseInnermost:
                pop();
                break;
            case RepairAction::OpenWrapper:
                openAnonymous(repair.wrapper);
                break;
            case RepairAction::BecomeDiv:
                *kind = {"div", Place::Block, Holds::Flow, {}};
                where = Place::Block;
                break;
            case RepairAction::LeaveOut:
                return false;
            }
        }
        return false;
    }

    // Whether a container for `where` is open, with no table or list boundary between.
    bool isOpenAbove(Place where) const {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (holdsPlace(open_[i].holds, where)) return true;
            // Items and cells close one another; a block of their own holds its own.
            if (open_[i].place == Place::Block && open_[i].holds != Holds::Inlines) return false;
        }
        return false;
    }

    void openAnonymous(const XhtmlKind& wrapper) {
        noteChild();
        open_.push_back({{}, std::string(wrapper.name), wrapper.place, wrapper.holds, false, body_.size()});
        body_ += "<" + std::string(wrapper.name) + ">";
    }

    void closeOpen(std::string_view written) {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].name == written) {
                while (open_.size() > i) pop();
                return;
            }
        }
    }

    void endTag(const std::string& name) {
        if (name == "body" || name == "html") {
            while (!open_.empty()) pop();
            return;
        }
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].input == name) {
                while (open_.size() > i) pop();
                return;
            }
            // An end tag does not reach through a table or list it is not part of.
            if (open_[i].holds == Holds::TableParts || open_[i].holds == Holds::ListItems) return;
        }
    }

    void noteChild() {
        if (!open_.empty()) open_.back().hasChild = true;
    }

    void pop() {
        const Open& top = open_.back();
        const std::string_view filler = fillerFor(top.holds);
        if (!top.hasChild && !filler.empty()) {
            if (!top.hasId) {
                body_.erase(top.start);
                open_.pop_back();
                return;
            }
            body_ += filler;
        }
        if (top.heading) {
            headings_.push_back({headingLevel(top.name), collapseAsciiSpaces(headingText_), headingId_});
            --openHeadings_;
        }
        body_ += "</" + top.name + ">";
        open_.pop_back();
    }

    // The head: title, then the sheets, then the kept <style> text.
    void finishHead() {
        const std::string viewport = hooks_.viewport(declaredViewport_);
        if (!viewport.empty()) head_ += viewportElement(viewport);
        for (const auto& sheet : sheets_) {
            head_ += "<link href=\"";
            appendXmlEscaped(head_, sheet, true);
            head_ += "\" rel=\"stylesheet\" type=\"text/css\"/>";
        }
        if (!styles_.empty()) {
            head_ += "<style type=\"text/css\">\n";
            appendXmlEscaped(head_, styles_, false, true);
            head_ += "</style>";
        }
    }

    XhtmlHooks& hooks_;
    bool headingIds_;
    std::string title_;
    std::string head_;
    std::string styles_;
    std::vector<std::string> sheets_;
    std::string declaredViewport_;
    std::string language_;
    std::string bodyAttributes_;
    std::string body_;
    std::vector<Open> open_;
    std::set<std::string> ids_;
    std::vector<XhtmlHeading> headings_;
    std::string headingText_;
    std::string headingId_;
    std::map<std::string, int> dropped_;
    ElementSkipper skipper_;
    bool inBody_ = false;
    bool inTitle_ = false;
    int openHeadings_ = 0;
    SvgPassthrough svg_{hooks_, ids_, body_};
};

}  // namespace

XhtmlResult writeXhtmlDocument(std::string_view html, XhtmlHooks& hooks, bool headingIds) {
    DocumentWriter writer(hooks, headingIds);
    return writer.run(html);
}

std::string xhtmlDocumentStart(std::string_view title, std::string_view head, std::string_view bodyAttributes,
                               std::string_view language) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"";
    if (!language.empty()) appendXmlAttribute(out, "xml:lang", language);
    out += "><head><title>";
    appendXmlEscaped(out, title, false);
    out += "</title>";
    out += head;
    out += "</head><body";
    out += bodyAttributes;
    out += ">";
    return out;
}

std::string xhtmlDocument(std::string_view title, std::string_view head, std::string_view bodyAttributes,
                          std::string_view body, std::string_view language) {
    std::string out = xhtmlDocumentStart(title, head, bodyAttributes, language);
    out += body;
    out += kXhtmlDocumentEnd;
    return out;
}

std::string stylesheetLink() {
    return "<link href=\"kindle:flow:" + base32(1, 4) + "?mime=text/css\" rel=\"stylesheet\" type=\"text/css\"/>";
}

std::string viewportElement(std::string_view content) {
    std::string out = "<meta name=\"viewport\" content=\"";
    appendXmlEscaped(out, content, true);
    return out + "\"/>";
}

}  // namespace mobigen
