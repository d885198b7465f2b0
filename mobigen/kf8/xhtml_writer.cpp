#include "mobigen/kf8/xhtml_writer.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"
#include "mobigen/text/html_tokenizer.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace mobigen {
namespace {

constexpr std::size_t kMaxOpenElements = 256;

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isHeading(std::string_view name) { return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6'; }

bool isWhitespace(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// Where an element may stand, in XHTML 1.1 terms.
enum class Place { Block, Inline, ListItem, DlItem, TablePart, Row, Cell };

// What an element may hold.
enum class Holds { Blocks, Flow, Inlines, ListItems, DlItems, TableParts, Rows, Cells, Nothing };

struct Kind {
    std::string_view name;  // as written
    Place place;
    Holds holds;
    std::string_view style;  // stands in for a presentational element
};

// How each HTML element is written; names not listed keep only their content.
const Kind* kindOf(std::string_view name) {
    static const std::unordered_map<std::string_view, Kind> kKinds = [] {
        std::unordered_map<std::string_view, Kind> k;
        for (const auto n : {"p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "address"})
            k[n] = {n, Place::Block, Holds::Inlines, {}};
        for (const auto n : {"div", "section", "article", "header", "footer", "main", "aside", "nav", "figure",
                             "figcaption", "hgroup", "details", "summary", "fieldset", "legend", "dialog"})
            k[n] = {"div", Place::Block, Holds::Flow, {}};
        k["center"] = {"div", Place::Block, Holds::Flow, "text-align: center"};
        k["blockquote"] = {"blockquote", Place::Block, Holds::Blocks, {}};
        k["ul"] = {"ul", Place::Block, Holds::ListItems, {}};
        k["ol"] = {"ol", Place::Block, Holds::ListItems, {}};
        k["menu"] = {"ul", Place::Block, Holds::ListItems, {}};
        k["dl"] = {"dl", Place::Block, Holds::DlItems, {}};
        k["hr"] = {"hr", Place::Block, Holds::Nothing, {}};
        k["table"] = {"table", Place::Block, Holds::TableParts, {}};
        k["li"] = {"li", Place::ListItem, Holds::Flow, {}};
        k["dt"] = {"dt", Place::DlItem, Holds::Inlines, {}};
        k["dd"] = {"dd", Place::DlItem, Holds::Flow, {}};
        k["caption"] = {"caption", Place::TablePart, Holds::Inlines, {}};
        for (const auto n : {"thead", "tbody", "tfoot"}) k[n] = {n, Place::TablePart, Holds::Rows, {}};
        k["tr"] = {"tr", Place::Row, Holds::Cells, {}};
        k["td"] = {"td", Place::Cell, Holds::Flow, {}};
        k["th"] = {"th", Place::Cell, Holds::Flow, {}};
        for (const auto n : {"a",   "abbr", "acronym", "b",     "big",  "cite",   "code", "dfn", "em", "i",
                             "kbd", "q",    "samp",    "small", "span", "strong", "sub",  "sup", "tt", "var",
                             "bdo", "ruby", "rb",      "rt",    "rp",   "rtc",    "ins",  "del"})
            k[n] = {n, Place::Inline, Holds::Inlines, {}};
        for (const auto n : {"mark", "time", "data", "font", "bdi", "label", "output", "nobr"})
            k[n] = {"span", Place::Inline, Holds::Inlines, {}};
        k["u"] = {"span", Place::Inline, Holds::Inlines, "text-decoration: underline"};
        for (const auto n : {"s", "strike"})
            k[n] = {"span", Place::Inline, Holds::Inlines, "text-decoration: line-through"};
        k["br"] = {"br", Place::Inline, Holds::Nothing, {}};
        k["img"] = {"img", Place::Inline, Holds::Nothing, {}};
        return k;
    }();
    const auto it = kKinds.find(name);
    return it == kKinds.end() ? nullptr : &it->second;
}

// Left out with their content, and counted.
bool isReportedDrop(std::string_view name) {
    return isOneOf(name, {"script", "button", "select", "textarea", "input", "audio", "video", "embed", "iframe",
                          "canvas", "applet", "math", "frameset", "frame"});
}

// Left out with their content, silently.
bool isSilentDrop(std::string_view name) {
    return isOneOf(name, {"head", "title", "meta", "link", "base", "template", "datalist", "map", "area", "param",
                          "source", "track", "noembed", "colgroup", "col", "wbr", "option", "optgroup", "style"});
}

bool isVoid(std::string_view name) {
    return isOneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                          "track", "wbr", "basefont", "frame", "keygen"});
}

// Names the tokenizer lowered that SVG spells in camel case.
std::string_view svgCase(std::string_view lower) {
    static const std::unordered_map<std::string, std::string_view> kNames = [] {
        std::unordered_map<std::string, std::string_view> m;
        constexpr std::string_view kCamel =
            "altGlyph altGlyphDef altGlyphItem animateColor animateMotion animateTransform clipPath feBlend "
            "feColorMatrix feComponentTransfer feComposite feConvolveMatrix feDiffuseLighting feDisplacementMap "
            "feDistantLight feDropShadow feFlood feFuncA feFuncB feFuncG feFuncR feGaussianBlur feImage feMerge "
            "feMergeNode feMorphology feOffset fePointLight feSpecularLighting feSpotLight feTile feTurbulence "
            "foreignObject glyphRef linearGradient radialGradient textPath attributeName attributeType "
            "baseFrequency baseProfile calcMode clipPathUnits diffuseConstant edgeMode filterUnits "
            "gradientTransform gradientUnits kernelMatrix kernelUnitLength keyPoints keySplines keyTimes "
            "lengthAdjust limitingConeAngle markerHeight markerUnits markerWidth maskContentUnits maskUnits "
            "numOctaves pathLength patternContentUnits patternTransform patternUnits pointsAtX pointsAtY "
            "pointsAtZ preserveAlpha preserveAspectRatio primitiveUnits refX refY repeatCount repeatDur "
            "requiredExtensions requiredFeatures specularConstant specularExponent spreadMethod startOffset "
            "stdDeviation stitchTiles surfaceScale systemLanguage tableValues targetX targetY textLength viewBox "
            "viewTarget xChannelSelector yChannelSelector zoomAndPan ";
        for (std::size_t at = 0; at < kCamel.size();) {
            const std::size_t end = kCamel.find(' ', at);
            const std::string_view n = kCamel.substr(at, end - at);
            m[lowerAscii(n)] = n;
            at = end + 1;
        }
        return m;
    }();
    const auto it = kNames.find(std::string(lower));
    return it == kNames.end() ? lower : it->second;
}

// The class that keeps an element written under another name reachable by its stylesheet.
std::string renamedClass(std::string_view input, std::string_view written) {
    if (input == written || written == "body") return {};
    return "tag-" + std::string(input);
}

bool isNameStart(unsigned char c) { return isAsciiLetter(static_cast<char>(c)) || c == '_' || c >= 0x80; }
bool isNameChar(unsigned char c) {
    return isNameStart(c) || isAsciiDigit(static_cast<char>(c)) || c == '-' || c == '.';
}

bool isNumericLength(std::string_view value) {
    return !value.empty() && value.find_first_not_of("0123456789.%") == std::string_view::npos;
}

// `fromHooks`: a value the book made, which may hold late-number marks.
void appendAttribute(std::string& out, std::string_view name, std::string_view value, bool fromHooks = false) {
    out += ' ';
    out += name;
    out += "=\"";
    appendXmlEscaped(out, value, true, fromHooks);
    out += '"';
}

class DocumentWriter {
public:
    DocumentWriter(XhtmlHooks& hooks, bool headingIds) : hooks_(hooks), headingIds_(headingIds) {}

    XhtmlResult run(std::string_view html) {
        HtmlTokenizer tokenizer(html);
        HtmlToken token;
        while (tokenizer.next(token)) handle(token);
        while (svgDepth_ > 0) closeSvgElement();
        while (!open_.empty()) pop();
        finishHead();
        if (body_.find('<') == std::string::npos) body_ += "<div></div>";
        XhtmlResult result;
        result.document = xhtmlDocument(title_, head_, bodyAttributes_, body_, language_);
        result.headings = std::move(headings_);
        result.dropped = std::move(dropped_);
        return result;
    }

    // The first <svg> of a file, written on its own.
    std::string svgOnly(std::string_view svg) {
        HtmlTokenizer tokenizer(svg);
        HtmlToken token;
        while (tokenizer.next(token)) {
            if (svgDepth_ == 0 && !(token.kind == HtmlTokenKind::StartTag && localPart(token.name) == "svg")) continue;
            svgToken(token);
            if (svgDepth_ == 0) break;
        }
        while (svgDepth_ > 0) closeSvgElement();
        return body_;
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

    static std::string_view localPart(std::string_view name) {
        const std::size_t colon = name.find(':');
        return name.substr(0, colon) == "svg" ? name.substr(colon + 1) : name;
    }

    void handle(const HtmlToken& token) {
        if (svgDepth_ > 0) {
            svgToken(token);
            return;
        }
        if (!skipping_.empty()) {
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
        const bool bodyStarts = token.kind == HtmlTokenKind::StartTag && token.name == "body";
        if (bodyStarts || (token.kind == HtmlTokenKind::EndTag && (token.name == "body" || token.name == "html"))) {
            skipping_.clear();
            if (bodyStarts) startTag(token);
            return;
        }
        if (inTitle_ && token.kind == HtmlTokenKind::Text && title_.empty()) title_ = collapseAsciiSpaces(token.text);
        if (skipping_ == "style" && token.kind == HtmlTokenKind::Text)
            styles_ += hooks_.style(token.text, false, false);
        if (token.kind == HtmlTokenKind::StartTag && token.name == skipping_ && !token.selfClosing) ++skipDepth_;
        if (token.kind == HtmlTokenKind::EndTag && token.name == skipping_ && skipDepth_-- == 0) skipping_.clear();
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
            skipping_ = "style";
            skipDepth_ = 0;
            return;
        }
        if (localPart(name) == "svg") {
            if (place(Place::Inline, nullptr)) svgToken(token);
            return;
        }
        if (isReportedDrop(name) || isSilentDrop(name)) {
            if (isReportedDrop(name)) ++dropped_[name];
            if (!token.selfClosing && !isVoid(name)) {
                skipping_ = name;
                skipDepth_ = 0;
            }
            return;
        }
        if (name == "form" || name == "object") ++dropped_[name];  // the content stays: text, or a fallback
        const Kind* kind = kindOf(name);
        if (kind == nullptr || open_.size() >= kMaxOpenElements) return;
        element(token, *kind);
    }

    void headElement(const HtmlToken& token) {
        if (token.name == "head") return;
        if (token.name == "title" || token.name == "style" || token.name == "script") {
            if (token.selfClosing) return;
            skipping_ = token.name;
            skipDepth_ = 0;
            inTitle_ = token.name == "title";
            return;
        }
        headTag(token);
    }

    void beginBody(const HtmlToken* body) {
        inBody_ = true;
        if (body == nullptr) return;
        appendCommonAttributes(bodyAttributes_, *body, Kind{"body", Place::Block, Holds::Blocks, {}}, true);
    }

    void element(const HtmlToken& token, Kind kind) {
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
        const bool heading = isHeading(kind.name) && kind.name[1] <= '3';
        std::string id = appendCommonAttributes(tag, token, kind, false);
        if (heading && id.empty() && headingIds_) {
            id = uniqueId("kf8-heading-" + std::to_string(headings_.size() + 1));
            appendAttribute(tag, "id", id);
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
    std::string appendCommonAttributes(std::string& tag, const HtmlToken& token, const Kind& kind, bool onRoot) {
        const std::string_view extraStyle = kind.style;
        std::string id;
        const std::string* idValue = token.attribute("id");
        if (idValue == nullptr && token.name == "a") idValue = token.attribute("name");
        if (idValue != nullptr && !idValue->empty()) {
            const std::string candidate = xmlId(*idValue);
            if (ids_.insert(candidate).second) {
                id = candidate;
                appendAttribute(tag, "id", id);
            }
        }
        std::string classes = renamedClass(token.name, kind.name);
        if (const std::string* cls = token.attribute("class"); cls != nullptr && !isWhitespace(*cls))
            classes += (classes.empty() ? "" : " ") + collapseAsciiSpaces(*cls);
        if (!classes.empty()) appendAttribute(tag, "class", classes);
        if (const std::string* title = token.attribute("title"); title != nullptr && !title->empty())
            appendAttribute(tag, "title", *title);
        if (const std::string* dir = token.attribute("dir"); dir != nullptr && (*dir == "ltr" || *dir == "rtl"))
            appendAttribute(tag, "dir", *dir);
        else if (token.name == "bdo")
            appendAttribute(tag, "dir", "ltr");
        const std::string language = languageOf(token);
        if (!language.empty()) appendAttribute(tag, "xml:lang", language);
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
        if (!style.empty()) appendAttribute(tag, "style", style, true);
        return id;
    }

    void appendSpecificAttributes(std::string& tag, const HtmlToken& token, std::string_view name,
                                  const std::optional<XhtmlImage>& image) {
        const auto copy = [&](std::initializer_list<std::string_view> names) {
            for (const auto n : names) {
                if (const std::string* value = token.attribute(n)) appendAttribute(tag, n, *value);
            }
        };
        if (name == "a") {
            const std::string* href = token.attribute("href");
            if (href != nullptr && !href->empty()) {
                if (const auto address = hooks_.link(*href)) appendAttribute(tag, "href", *address);
            }
        } else if (name == "img") {
            appendAttribute(tag, "src", image->src, true);
            const std::string* alt = token.attribute("alt");
            appendAttribute(tag, "alt", alt != nullptr ? *alt : std::string());
            for (const auto n : {"width", "height"}) {
                const std::string* value = token.attribute(n);
                if (value != nullptr && isNumericLength(*value)) appendAttribute(tag, n, *value);
            }
        } else if (name == "td" || name == "th") {
            for (const auto n : {"colspan", "rowspan"}) {
                const std::string* value = token.attribute(n);
                if (value != nullptr && isNumericLength(*value) && value->find_first_of(".%") == std::string::npos)
                    appendAttribute(tag, n, *value);
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
    bool place(Place where, Kind* kind) {
        for (int guard = 0; guard < 64; ++guard) {
            const Holds holds = open_.empty() ? Holds::Blocks : open_.back().holds;
            if (accepts(holds, where)) return true;
            if (where == Place::Block && holds == Holds::Inlines) {
                if (kind != nullptr && open_.back().place == Place::Inline && kind->holds == Holds::Inlines) {
                    *kind = {"span", Place::Inline, Holds::Inlines, "display: block"};
                    return true;
                }
                if (kind != nullptr && open_.back().place == Place::Inline && kind->holds == Holds::Flow) {
                    *kind = {"span", Place::Inline, Holds::Inlines, "display: block"};
                    return true;
                }
                pop();
            } else if (holds == Holds::Blocks && where == Place::Inline) {
                openAnonymous("div", Place::Block, Holds::Flow);
            } else if (holds == Holds::ListItems && (where == Place::Block || where == Place::Inline)) {
                openAnonymous("li", Place::ListItem, Holds::Flow);
            } else if (holds == Holds::DlItems && (where == Place::Block || where == Place::Inline)) {
                openAnonymous("dd", Place::DlItem, Holds::Flow);
            } else if ((holds == Holds::TableParts || holds == Holds::Rows) &&
                       (where == Place::Cell || where == Place::Block || where == Place::Inline)) {
                openAnonymous("tr", Place::Row, Holds::Cells);
            } else if (holds == Holds::Cells && (where == Place::Block || where == Place::Inline)) {
                openAnonymous("td", Place::Cell, Holds::Flow);
            } else if (where != Place::Block && where != Place::Inline && isOpenAbove(where)) {
                pop();
            } else if (kind != nullptr && where != Place::Block && where != Place::Inline) {
                // A list item, cell or row outside its list or table.
                *kind = {"div", Place::Block, Holds::Flow, {}};
                where = Place::Block;
            } else if (!open_.empty() && holds == Holds::Inlines) {
                pop();
            } else {
                return false;
            }
        }
        return false;
    }

    static bool accepts(Holds holds, Place where) {
        switch (holds) {
        case Holds::Blocks:
            return where == Place::Block;
        case Holds::Flow:
            return where == Place::Block || where == Place::Inline;
        case Holds::Inlines:
            return where == Place::Inline;
        case Holds::ListItems:
            return where == Place::ListItem;
        case Holds::DlItems:
            return where == Place::DlItem;
        case Holds::TableParts:
            return where == Place::TablePart || where == Place::Row;
        case Holds::Rows:
            return where == Place::Row;
        case Holds::Cells:
            return where == Place::Cell;
        case Holds::Nothing:
            return false;
        }
        return false;
    }

    // Whether a container for `where` is open, with no table or list boundary between.
    bool isOpenAbove(Place where) const {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (accepts(open_[i].holds, where)) return true;
            // Items and cells close one another; a block of their own holds its own.
            if (open_[i].place == Place::Block && open_[i].holds != Holds::Inlines) return false;
        }
        return false;
    }

    void openAnonymous(std::string_view name, Place where, Holds holds) {
        noteChild();
        open_.push_back({{}, std::string(name), where, holds, false, body_.size()});
        body_ += "<" + std::string(name) + ">";
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

    // XHTML 1.1 wants at least one child in these; an empty one goes, unless a link may
    // point at it.
    static std::string_view fillerFor(Holds holds) {
        switch (holds) {
        case Holds::Blocks:
            return "<div></div>";
        case Holds::ListItems:
            return "<li></li>";
        case Holds::DlItems:
            return "<dd></dd>";
        case Holds::TableParts:
        case Holds::Rows:
            return "<tr><td></td></tr>";
        case Holds::Cells:
            return "<td></td>";
        default:
            return {};
        }
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
            headings_.push_back({top.name[1] - '0', collapseAsciiSpaces(headingText_), headingId_});
            --openHeadings_;
        }
        body_ += "</" + top.name + ">";
        open_.pop_back();
    }

    // SVG is copied as it is, with its camel case restored and its images resolved.
    void svgToken(const HtmlToken& token) {
        if (svgSkipDepth_ > 0) {
            if (token.kind == HtmlTokenKind::StartTag && !token.selfClosing) ++svgSkipDepth_;
            if (token.kind == HtmlTokenKind::EndTag) --svgSkipDepth_;
            return;
        }
        switch (token.kind) {
        case HtmlTokenKind::Text:
        case HtmlTokenKind::CData:
            appendXmlEscaped(body_, token.text, false);
            break;
        case HtmlTokenKind::StartTag:
            svgStartTag(token);
            break;
        case HtmlTokenKind::EndTag: {
            if (token.name == "body" || token.name == "html") {
                while (svgDepth_ > 0) closeSvgElement();
                endTag(token.name);
                break;
            }
            const std::string_view name = svgCase(localPart(token.name));
            const auto match = std::find(svgOpen_.rbegin(), svgOpen_.rend(), name);
            if (match == svgOpen_.rend()) break;
            const std::size_t closing = static_cast<std::size_t>(match - svgOpen_.rbegin()) + 1;
            for (std::size_t i = 0; i < closing; ++i) closeSvgElement();
            break;
        }
        default:
            break;
        }
    }

    void svgStartTag(const HtmlToken& token) {
        const std::string_view local = localPart(token.name);
        const bool foreign = local.find(':') != std::string_view::npos;
        if (foreign || isOneOf(local, {"script", "foreignobject", "a"})) {
            if (!token.selfClosing) svgSkipDepth_ = 1;
            return;
        }
        std::string tag = "<" + std::string(svgCase(local));
        if (svgDepth_ == 0) {
            noteChild();
            tag += " xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
        }
        for (const auto& a : token.attributes) {
            const std::string_view n = a.name;
            const bool reference = n == "xlink:href" || n == "href";
            if (n.substr(0, 2) == "on" || n.substr(0, 5) == "xmlns" ||
                (n.find(':') != std::string_view::npos && !reference && n.substr(0, 4) != "xml:"))
                continue;
            if (n == "id") {
                if (!ids_.insert(xmlId(a.value)).second) continue;
                appendAttribute(tag, "id", xmlId(a.value));
                continue;
            }
            if (reference && local == "image") {
                const auto image = hooks_.image(a.value);
                if (!image || image->src.empty()) {
                    if (!token.selfClosing) svgSkipDepth_ = 1;
                    return;
                }
                appendAttribute(tag, "xlink:href", image->src, true);
                continue;
            }
            if (reference) {
                if (!a.value.empty() && a.value[0] == '#')
                    appendAttribute(tag, "xlink:href", "#" + xmlId(a.value.substr(1)));
                continue;
            }
            appendAttribute(tag, svgCase(n), a.value);
        }
        if (token.selfClosing) {
            body_ += tag + "/>";
            return;
        }
        body_ += tag + ">";
        svgOpen_.emplace_back(svgCase(local));
        ++svgDepth_;
    }

    void closeSvgElement() {
        body_ += "</" + svgOpen_.back() + ">";
        svgOpen_.pop_back();
        --svgDepth_;
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
    std::string skipping_;
    std::size_t skipDepth_ = 0;
    bool inBody_ = false;
    bool inTitle_ = false;
    int openHeadings_ = 0;
    std::vector<std::string> svgOpen_;
    std::size_t svgDepth_ = 0;
    std::size_t svgSkipDepth_ = 0;

public:
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
};

}  // namespace

XhtmlResult writeXhtmlDocument(std::string_view html, XhtmlHooks& hooks, bool headingIds) {
    DocumentWriter writer(hooks, headingIds);
    return writer.run(html);
}

std::string writeSvgElement(std::string_view svg, XhtmlHooks& hooks) {
    DocumentWriter writer(hooks, false);
    return writer.svgOnly(svg);
}

std::string xhtmlDocumentStart(std::string_view title, std::string_view head, std::string_view bodyAttributes,
                               std::string_view language) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"";
    if (!language.empty()) appendAttribute(out, "xml:lang", language);
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

std::string viewportElement(std::string_view content) {
    std::string out = "<meta name=\"viewport\" content=\"";
    appendXmlEscaped(out, content, true);
    return out + "\"/>";
}

std::string xhtmlTypeSelector(std::string_view element) {
    const std::string name = lowerAscii(element);
    const Kind* kind = kindOf(name);
    if (kind == nullptr || kind->name == name) return {};
    return std::string(kind->name) + "." + renamedClass(name, kind->name);
}

std::string xmlId(std::string_view id) {
    std::string out;
    for (const char c : id) out += isNameChar(static_cast<unsigned char>(c)) ? c : '_';
    if (out.empty() || !isNameStart(static_cast<unsigned char>(out[0]))) out.insert(0, "id_");
    return out;
}

void appendXmlEscaped(std::string& out, std::string_view text, bool attribute, bool keepLateMarks) {
    const EntityContext context = attribute ? EntityContext::Attribute : EntityContext::Text;
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // C0 controls other than white space, and U+FFFE/U+FFFF, are not XML characters.
        const bool control =
            c < 0x20 && c != '\t' && c != '\n' && c != '\r' && !(keepLateMarks && c == kLateNumberMark);
        const bool nonCharacter = c == 0xEF && text.substr(i + 1, 1) == "\xBF" && i + 2 < text.size() &&
                                  (text[i + 2] == '\xBE' || text[i + 2] == '\xBF');
        if (!control && !nonCharacter) continue;
        appendEscaped(out, text.substr(run, i - run), context);
        if (nonCharacter) i += 2;
        run = i + 1;
    }
    appendEscaped(out, text.substr(run), context);
}

}  // namespace mobigen
