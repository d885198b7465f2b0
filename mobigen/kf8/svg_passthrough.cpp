#include "mobigen/kf8/svg_passthrough.h"

#include "mobigen/markup/html_elements.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"

#include <algorithm>
#include <unordered_map>

namespace mobigen {
namespace {

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

}  // namespace

std::string_view svgLocalName(std::string_view name) {
    const std::size_t colon = name.find(':');
    return name.substr(0, colon) == "svg" ? name.substr(colon + 1) : name;
}

bool SvgPassthrough::take(const HtmlToken& token) {
    if (svgSkipDepth_ > 0) {
        if (token.kind == HtmlTokenKind::StartTag && !token.selfClosing) ++svgSkipDepth_;
        if (token.kind == HtmlTokenKind::EndTag) --svgSkipDepth_;
        return true;
    }
    switch (token.kind) {
    case HtmlTokenKind::Text:
    case HtmlTokenKind::CData:
        appendXmlEscaped(out_, token.text, false);
        break;
    case HtmlTokenKind::StartTag:
        startTag(token);
        break;
    case HtmlTokenKind::EndTag: {
        if (token.name == "body" || token.name == "html") {
            closeAll();
            return false;
        }
        const std::string_view name = svgCase(svgLocalName(token.name));
        const auto match = std::find(svgOpen_.rbegin(), svgOpen_.rend(), name);
        if (match == svgOpen_.rend()) break;
        const std::size_t closing = static_cast<std::size_t>(match - svgOpen_.rbegin()) + 1;
        for (std::size_t i = 0; i < closing; ++i) closeElement();
        break;
    }
    default:
        break;
    }
    return true;
}

void SvgPassthrough::startTag(const HtmlToken& token) {
    const std::string_view local = svgLocalName(token.name);
    const bool foreign = local.find(':') != std::string_view::npos;
    if (foreign || isOneOf(local, {"script", "foreignobject", "a"})) {
        if (!token.selfClosing) svgSkipDepth_ = 1;
        return;
    }
    std::string tag = "<" + std::string(svgCase(local));
    if (svgDepth_ == 0) {
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
            appendXmlAttribute(tag, "id", xmlId(a.value));
            continue;
        }
        if (reference && local == "image") {
            const auto image = hooks_.image(a.value);
            if (!image || image->src.empty()) {
                if (!token.selfClosing) svgSkipDepth_ = 1;
                return;
            }
            appendXmlAttribute(tag, "xlink:href", image->src, true);
            continue;
        }
        if (reference) {
            if (!a.value.empty() && a.value[0] == '#')
                appendXmlAttribute(tag, "xlink:href", "#" + xmlId(a.value.substr(1)));
            continue;
        }
        appendXmlAttribute(tag, svgCase(n), a.value);
    }
    if (token.selfClosing) {
        out_ += tag + "/>";
        return;
    }
    out_ += tag + ">";
    svgOpen_.emplace_back(svgCase(local));
    ++svgDepth_;
}

void SvgPassthrough::closeElement() {
    out_ += "</" + svgOpen_.back() + ">";
    svgOpen_.pop_back();
    --svgDepth_;
}

std::string writeSvgElement(std::string_view svg, XhtmlHooks& hooks) {
    std::set<std::string> ids;
    std::string out;
    SvgPassthrough drawing(hooks, ids, out);
    HtmlTokenizer tokenizer(svg);
    HtmlToken token;
    while (tokenizer.next(token)) {
        const bool starts = token.kind == HtmlTokenKind::StartTag && svgLocalName(token.name) == "svg";
        if (!drawing.open() && !starts) continue;
        drawing.take(token);
        if (!drawing.open()) break;
    }
    drawing.closeAll();
    return out;
}

}  // namespace mobigen
