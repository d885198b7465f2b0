#include "mobigen/images/svg_render.h"

#include "mobigen/book.h"
#include "mobigen/images/image_fit.h"
#include "mobigen/images/svg_path.h"
#include "mobigen/images/svg_raster.h"
#include "mobigen/markup/css.h"
#include "mobigen/source/xml.h"
#include "mobigen/text/ascii.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>

namespace mobigen {
namespace {

constexpr double kPi = 3.14159265358979323846;
// How far a flattened curve may stray, in device pixels.
constexpr double kFlatness = 0.2;
// Reading an element's style and geometry costs about as much as drawing this many pixels.
constexpr long long kElementWork = 256;

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\f");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n\f") - first + 1);
}

std::string lowered(std::string_view text) { return lowerAscii(std::string(trimmed(text))); }

// ---- colours

struct NamedColor {
    const char* name;
    std::uint32_t rgb;
};

// The names book illustrations use; the rest of CSS's list is rare in them.
constexpr NamedColor kColorNames[] = {
    {"black", 0x000000},         {"white", 0xFFFFFF},         {"red", 0xFF0000},          {"green", 0x008000},
    {"blue", 0x0000FF},          {"yellow", 0xFFFF00},        {"cyan", 0x00FFFF},         {"aqua", 0x00FFFF},
    {"magenta", 0xFF00FF},       {"fuchsia", 0xFF00FF},       {"gray", 0x808080},         {"grey", 0x808080},
    {"silver", 0xC0C0C0},        {"maroon", 0x800000},        {"olive", 0x808000},        {"lime", 0x00FF00},
    {"teal", 0x008080},          {"navy", 0x000080},          {"purple", 0x800080},       {"orange", 0xFFA500},
    {"brown", 0xA52A2A},         {"pink", 0xFFC0CB},          {"gold", 0xFFD700},         {"beige", 0xF5F5DC},
    {"ivory", 0xFFFFF0},         {"khaki", 0xF0E68C},         {"tan", 0xD2B48C},          {"violet", 0xEE82EE},
    {"indigo", 0x4B0082},        {"crimson", 0xDC143C},       {"coral", 0xFF7F50},        {"salmon", 0xFA8072},
    {"tomato", 0xFF6347},        {"orchid", 0xDA70D6},        {"plum", 0xDDA0DD},         {"sienna", 0xA0522D},
    {"chocolate", 0xD2691E},     {"darkred", 0x8B0000},       {"darkgreen", 0x006400},    {"darkblue", 0x00008B},
    {"darkgray", 0xA9A9A9},      {"darkgrey", 0xA9A9A9},      {"lightgray", 0xD3D3D3},    {"lightgrey", 0xD3D3D3},
    {"dimgray", 0x696969},       {"dimgrey", 0x696969},       {"gainsboro", 0xDCDCDC},    {"whitesmoke", 0xF5F5F5},
    {"lightblue", 0xADD8E6},     {"skyblue", 0x87CEEB},       {"steelblue", 0x4682B4},    {"royalblue", 0x4169E1},
    {"lightgreen", 0x90EE90},    {"forestgreen", 0x228B22},   {"seagreen", 0x2E8B57},     {"darkorange", 0xFF8C00},
    {"goldenrod", 0xDAA520},     {"firebrick", 0xB22222},     {"wheat", 0xF5DEB3},        {"linen", 0xFAF0E6},
    {"lavender", 0xE6E6FA},      {"turquoise", 0x40E0D0},     {"slategray", 0x708090},    {"slategrey", 0x708090},
    {"darkslategray", 0x2F4F4F}, {"darkslategrey", 0x2F4F4F}, {"midnightblue", 0x191970}, {"snow", 0xFFFAFA},
};

SvgColor fromRgb(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb)};
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<SvgColor> hexColor(std::string_view hex) {
    std::uint32_t value = 0;
    for (const char c : hex) {
        if (hexValue(c) < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(hexValue(c));
    }
    if (hex.size() == 3 || hex.size() == 4) {
        if (hex.size() == 4) value >>= 4;
        const std::uint32_t r = value >> 8 & 15, g = value >> 4 & 15, b = value & 15;
        return fromRgb((r * 17) << 16 | (g * 17) << 8 | b * 17);
    }
    if (hex.size() == 8) return fromRgb(value >> 8);
    if (hex.size() == 6) return fromRgb(value);
    return std::nullopt;
}

std::uint8_t channel(std::string_view part) {
    part = trimmed(part);
    const bool percent = !part.empty() && part.back() == '%';
    const std::vector<double> numbers = readNumberList(percent ? part.substr(0, part.size() - 1) : part);
    if (numbers.empty()) return 0;
    const double value = percent ? numbers[0] * 2.55 : numbers[0];
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

// rgb(1, 2, 3), rgb(10% 20% 30%) and rgba(); the alpha is ignored.
std::optional<SvgColor> functionColor(std::string_view text) {
    const std::size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
    std::string inner(text.substr(open + 1, close - open - 1));
    std::replace(inner.begin(), inner.end(), ',', ' ');
    std::replace(inner.begin(), inner.end(), '/', ' ');
    std::vector<std::string_view> parts;
    std::string_view rest = inner;
    while (!(rest = trimmed(rest)).empty()) {
        const std::size_t space = rest.find_first_of(" \t\r\n");
        parts.push_back(rest.substr(0, space));
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space);
    }
    if (parts.size() < 3) return std::nullopt;
    return SvgColor{channel(parts[0]), channel(parts[1]), channel(parts[2])};
}

std::optional<SvgColor> parseColor(std::string_view text) {
    const std::string value = lowered(text);
    if (value.empty()) return std::nullopt;
    if (value[0] == '#') return hexColor(std::string_view(value).substr(1));
    if (value.compare(0, 4, "rgb(") == 0 || value.compare(0, 5, "rgba(") == 0) return functionColor(value);
    for (const NamedColor& named : kColorNames)
        if (value == named.name) return fromRgb(named.rgb);
    return std::nullopt;
}

// ---- lengths, numbers, transforms

double firstNumber(std::string_view text, double fallback) {
    const std::vector<double> numbers = readNumberList(trimmed(text));
    return numbers.empty() ? fallback : numbers[0];
}

// A length in user units; a percentage is of `reference`. Units other than absolute ones
// count as pixels.
double parseLength(std::string_view text, double reference, double fallback) {
    text = trimmed(text);
    if (text.empty()) return fallback;
    const std::vector<double> numbers = readNumberList(text);
    if (numbers.empty()) return fallback;
    const std::string lower = lowerAscii(std::string(text));
    const auto endsWith = [&](std::string_view unit) {
        return lower.size() >= unit.size() && lower.compare(lower.size() - unit.size(), unit.size(), unit) == 0;
    };
    double value = numbers[0];
    if (endsWith("%"))
        value *= reference / 100;
    else if (endsWith("pt"))
        value *= 4.0 / 3;
    else if (endsWith("pc"))
        value *= 16;
    else if (endsWith("mm"))
        value *= 96 / 25.4;
    else if (endsWith("cm"))
        value *= 96 / 2.54;
    else if (endsWith("in"))
        value *= 96;
    else if (endsWith("em"))
        value *= 16;
    return std::isfinite(value) ? value : fallback;
}

bool isAbsoluteLength(std::string_view text) {
    text = trimmed(text);
    return !text.empty() && text.back() != '%' && !readNumberList(text).empty();
}

SvgMatrix translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
SvgMatrix scaling(double x, double y) { return {x, 0, 0, y, 0, 0}; }

SvgMatrix rotation(double degrees) {
    const double r = degrees * kPi / 180;
    return {std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0};
}

std::optional<SvgMatrix> transformStep(std::string_view name, const std::vector<double>& n) {
    const auto arg = [&](std::size_t i, double fallback) { return i < n.size() ? n[i] : fallback; };
    if (n.empty()) return std::nullopt;
    if (name == "matrix" && n.size() >= 6) return SvgMatrix{n[0], n[1], n[2], n[3], n[4], n[5]};
    if (name == "translate") return translation(n[0], arg(1, 0));
    if (name == "scale") return scaling(n[0], arg(1, n[0]));
    if (name == "rotate")
        return translation(arg(1, 0), arg(2, 0)) * rotation(n[0]) * translation(-arg(1, 0), -arg(2, 0));
    if (name == "skewx") return SvgMatrix{1, 0, std::tan(n[0] * kPi / 180), 1, 0, 0};
    if (name == "skewy") return SvgMatrix{1, std::tan(n[0] * kPi / 180), 0, 1, 0, 0};
    return std::nullopt;
}

// A transform list; an unreadable one counts as none, as SVG says.
SvgMatrix parseTransform(std::string_view text) {
    SvgMatrix result;
    const std::string lower = lowerAscii(std::string(text));
    std::size_t at = 0;
    while (true) {
        const std::size_t open = lower.find('(', at);
        if (open == std::string::npos) break;
        const std::size_t close = lower.find(')', open);
        if (close == std::string::npos) return {};
        std::string name(trimmed(std::string_view(lower).substr(at, open - at)));
        if (!name.empty() && name.front() == ',') name = std::string(trimmed(std::string_view(name).substr(1)));
        const auto step =
            transformStep(name, readNumberList(std::string_view(lower).substr(open + 1, close - open - 1)));
        if (!step) return {};
        result = result * *step;
        at = close + 1;
    }
    return result;
}

struct ViewBox {
    double x = 0, y = 0, width = 0, height = 0;
};

std::optional<ViewBox> parseViewBox(std::string_view text) {
    const std::vector<double> n = readNumberList(text);
    if (n.size() < 4 || !(n[2] > 0) || !(n[3] > 0)) return std::nullopt;
    return ViewBox{n[0], n[1], n[2], n[3]};
}

// The mapping of `box` into a viewport of `width` by `height` at (x, y) that
// preserveAspectRatio asks for.
SvgMatrix fitBox(const ViewBox& box, double x, double y, double width, double height, std::string_view aspect) {
    const std::string value = lowered(aspect);
    double sx = width / box.width, sy = height / box.height;
    if (value.compare(0, 4, "none") == 0) return translation(x, y) * scaling(sx, sy) * translation(-box.x, -box.y);
    const bool slice = value.find("slice") != std::string::npos;
    const double s = slice ? std::max(sx, sy) : std::min(sx, sy);
    const double spareX = width - box.width * s, spareY = height - box.height * s;
    const double alignX = value.find("xmin") != std::string::npos   ? 0
                          : value.find("xmax") != std::string::npos ? 1
                                                                    : 0.5;
    const double alignY = value.find("ymin") != std::string::npos   ? 0
                          : value.find("ymax") != std::string::npos ? 1
                                                                    : 0.5;
    return translation(x + spareX * alignX, y + spareY * alignY) * scaling(s, s) * translation(-box.x, -box.y);
}

// ---- styles

using Declarations = std::map<std::string, std::string>;

void readDeclarations(std::string_view text, Declarations& into) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view declaration = text.substr(0, end);
        const std::size_t colon = declaration.find(':');
        if (colon != std::string_view::npos) {
            std::string value(trimmed(declaration.substr(colon + 1)));
            const std::size_t important = lowerAscii(value).find("!important");
            if (important != std::string::npos)
                value = std::string(trimmed(std::string_view(value).substr(0, important)));
            into[lowered(declaration.substr(0, colon))] = value;
        }
        text = end < text.size() ? text.substr(end + 1) : std::string_view();
    }
}

struct StyleRule {
    std::string type;  // "" for any
    std::vector<std::string> classes;
    std::string id;
    int specificity = 0;
    std::size_t order = 0;
    Declarations declarations;
};

std::string withoutComments(std::string_view css) {
    std::string out = withoutCssComments(css);
    for (const char* marker : {"<![CDATA[", "]]>", "<!--", "-->"})
        for (std::size_t at = out.find(marker); at != std::string::npos; at = out.find(marker))
            out.erase(at, std::string_view(marker).size());
    return out;
}

// A compound selector of a type, classes and an id ("rect.a.b", ".c", "#d", "*"); nothing
// for anything with combinators or pseudo-classes, which are not followed.
std::optional<StyleRule> simpleSelector(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.find_first_of(" \t\r\n>+~:[") != std::string_view::npos) return std::nullopt;
    StyleRule rule;
    std::size_t at = 0;
    const auto word = [&]() {
        const std::size_t end = std::min(text.find_first_of(".#", at), text.size());
        std::string w(text.substr(at, end - at));
        at = end;
        return w;
    };
    if (text[0] != '.' && text[0] != '#') {
        rule.type = lowerAscii(word());
        if (rule.type == "*")
            rule.type.clear();
        else
            rule.specificity += 1;
    }
    while (at < text.size()) {
        const char kind = text[at++];
        const std::string name = word();
        if (name.empty()) return std::nullopt;
        if (kind == '.')
            rule.classes.push_back(name), rule.specificity += 10;
        else
            rule.id = name, rule.specificity += 100;
    }
    return rule;
}

void readStyleSheet(std::string_view sheet, std::vector<StyleRule>& rules) {
    const std::string css = withoutComments(sheet);
    std::size_t at = 0;
    while (at < css.size()) {
        const std::size_t open = css.find('{', at);
        if (open == std::string::npos) break;
        const std::size_t close = css.find('}', open);
        if (close == std::string::npos) break;
        const std::string_view selectors = std::string_view(css).substr(at, open - at);
        at = close + 1;
        if (trimmed(selectors).substr(0, 1) == "@") continue;  // @media, @font-face
        Declarations declarations;
        readDeclarations(std::string_view(css).substr(open + 1, close - open - 1), declarations);
        std::size_t from = 0;
        while (from <= selectors.size()) {
            const std::size_t comma = std::min(selectors.find(',', from), selectors.size());
            if (auto rule = simpleSelector(selectors.substr(from, comma - from))) {
                rule->declarations = declarations;
                rule->order = rules.size();
                rules.push_back(std::move(*rule));
            }
            from = comma + 1;
        }
    }
}

bool hasClass(const std::string& classes, const std::string& name) {
    std::size_t at = 0;
    while (at < classes.size()) {
        const std::size_t start = classes.find_first_not_of(" \t\r\n", at);
        if (start == std::string::npos) break;
        const std::size_t end = std::min(classes.find_first_of(" \t\r\n", start), classes.size());
        if (classes.compare(start, end - start, name) == 0) return true;
        at = end;
    }
    return false;
}

bool matches(const StyleRule& rule, const XmlNode& node) {
    if (!rule.type.empty() && node.localName() != rule.type) return false;
    if (!rule.id.empty() && node.attribute("id") != rule.id) return false;
    const std::string& classes = node.attribute("class");
    return std::all_of(rule.classes.begin(), rule.classes.end(),
                       [&](const std::string& name) { return hasClass(classes, name); });
}

// The properties the renderer follows, as presentation attributes and in CSS.
constexpr const char* kStyleProperties[] = {
    "fill",    "stroke",     "stroke-width",   "fill-opacity",    "stroke-opacity",
    "opacity", "fill-rule",  "stroke-linecap", "stroke-linejoin", "stroke-miterlimit",
    "display", "visibility", "color",          "stop-color"};

struct Paint {
    enum class Kind { None, Color, CurrentColor };
    Kind kind = Kind::None;
    SvgColor color;
};

struct Style {
    Paint fill{Paint::Kind::Color, {}};
    Paint stroke;
    double strokeWidth = 1;
    double fillOpacity = 1;
    double strokeOpacity = 1;
    double opacity = 1;  // the product of the element's and its ancestors'
    SvgFillRule fillRule = SvgFillRule::NonZero;
    SvgStroke strokeShape;
    SvgColor color;
    bool visible = true;
    bool displayed = true;
};

double unitInterval(std::string_view text, double fallback) {
    text = trimmed(text);
    double value = firstNumber(text, fallback);
    if (!text.empty() && text.back() == '%') value /= 100;
    return std::clamp(value, 0.0, 1.0);
}

struct Budget {
    std::size_t elements = kSvgMaxElements;
    std::size_t commands = kSvgMaxPathCommands;
    long long points = kSvgMaxPoints;
};

// Base64 as data: URIs carry it; white space is skipped, anything else ends the data.
std::string decodeBase64(std::string_view text) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+' || c == '-')
            value = 62;
        else if (c == '/' || c == '_')
            value = 63;
        else if (c == '=')
            break;
        else if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
            continue;
        else
            break;
        buffer = buffer << 6 | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(buffer >> bits & 0xFF);
        }
    }
    return out;
}

// Walks the element tree once, drawing each shape as it comes.
class Renderer {
public:
    Renderer(const XmlNode& root, SvgCanvas& canvas, const SvgResourceLoader& load, std::vector<std::string>& warnings)
        : root_(root), canvas_(canvas), load_(load), warnings_(warnings) {
        index(root_, 0);
    }

    void draw(const SvgMatrix& viewport) {
        Style style;
        element(root_, viewport, style, 0);
    }

private:
    void warnOnce(const std::string& key, const std::string& message) {
        if (warned_.insert(key).second) warnings_.push_back(message);
    }

    void index(const XmlNode& node, int depth) {
        if (depth > kSvgMaxDepth) return;
        const std::string& id = node.attribute("id");
        if (!id.empty()) ids_.emplace(id, &node);
        if (node.localName() == "style") readStyleSheet(node.textContent(), rules_);
        if (rules_.size() > kSvgMaxStyleRules) {
            rules_.resize(kSvgMaxStyleRules);
            warnOnce("rules", "Its style sheets hold more than " + std::to_string(kSvgMaxStyleRules) +
                                  " rules; the rest were not followed.");
        }
        for (const XmlNode& child : node.children)
            if (!child.isText()) index(child, depth + 1);
    }

    const XmlNode* byReference(std::string_view reference) const {
        reference = trimmed(reference);
        if (reference.substr(0, 1) != "#") return nullptr;
        const auto found = ids_.find(std::string(reference.substr(1)));
        return found == ids_.end() ? nullptr : found->second;
    }

    // Presentation attributes, then the style sheet by specificity, then the style attribute.
    Declarations declarationsOf(const XmlNode& node) const {
        Declarations declared;
        for (const char* property : kStyleProperties) {
            const std::string& value = node.attribute(property);
            if (!value.empty()) declared[property] = value;
        }
        std::vector<const StyleRule*> matched;
        for (const StyleRule& rule : rules_)
            if (matches(rule, node)) matched.push_back(&rule);
        std::stable_sort(matched.begin(), matched.end(),
                         [](const StyleRule* a, const StyleRule* b) { return a->specificity < b->specificity; });
        for (const StyleRule* rule : matched)
            for (const auto& [name, value] : rule->declarations) declared[name] = value;
        readDeclarations(node.attribute("style"), declared);
        return declared;
    }

    // A gradient or pattern stands in as the mean of its stop colours.
    std::optional<SvgColor> referencedColor(std::string_view reference, int depth) const {
        const XmlNode* target = byReference(reference);
        if (target == nullptr || depth > 4) return std::nullopt;
        double r = 0, g = 0, b = 0;
        int stops = 0;
        for (const XmlNode* stop : target->childrenNamed("stop")) {
            const Declarations declared = declarationsOf(*stop);
            const auto found = declared.find("stop-color");
            const auto color = parseColor(found == declared.end() ? "black" : found->second);
            if (!color) continue;
            r += color->r, g += color->g, b += color->b;
            ++stops;
        }
        if (stops == 0) return referencedColor(target->attributeLocal("href"), depth + 1);
        return SvgColor{static_cast<std::uint8_t>(std::lround(r / stops)),
                        static_cast<std::uint8_t>(std::lround(g / stops)),
                        static_cast<std::uint8_t>(std::lround(b / stops))};
    }

    // fill and stroke values; false when the value cannot be read (the inherited one stays).
    bool parsePaint(std::string_view text, Paint& paint) const {
        const std::string value = lowered(text);
        if (value == "none" || value == "transparent") {
            paint.kind = Paint::Kind::None;
            return true;
        }
        if (value == "currentcolor") {
            paint.kind = Paint::Kind::CurrentColor;
            return true;
        }
        if (value.compare(0, 4, "url(") == 0) {
            const std::size_t close = value.find(')');
            const std::string_view original = trimmed(text);
            const auto color =
                close == std::string::npos ? std::nullopt : referencedColor(trimmed(original.substr(4, close - 4)), 0);
            if (color) {
                paint = {Paint::Kind::Color, *color};
                return true;
            }
            const std::string fallback = close == std::string::npos ? "" : value.substr(close + 1);
            if (!trimmed(fallback).empty()) return parsePaint(fallback, paint);
            paint.kind = Paint::Kind::None;
            return true;
        }
        const auto color = parseColor(value);
        if (!color) return false;
        paint = {Paint::Kind::Color, *color};
        return true;
    }

    Style computed(const XmlNode& node, const Style& parent) const {
        Style style = parent;
        style.displayed = true;
        const Declarations declared = declarationsOf(node);
        const auto get = [&](const char* name) -> const std::string* {
            const auto found = declared.find(name);
            return found == declared.end() || lowered(found->second) == "inherit" ? nullptr : &found->second;
        };
        if (const auto* v = get("color"))
            if (const auto c = parseColor(*v)) style.color = *c;
        if (const auto* v = get("fill")) parsePaint(*v, style.fill);
        if (const auto* v = get("stroke")) parsePaint(*v, style.stroke);
        if (const auto* v = get("stroke-width")) style.strokeShape.width = std::max(0.0, parseLength(*v, 100, 1));
        if (const auto* v = get("fill-opacity")) style.fillOpacity = unitInterval(*v, 1);
        if (const auto* v = get("stroke-opacity")) style.strokeOpacity = unitInterval(*v, 1);
        if (const auto* v = get("opacity")) style.opacity *= unitInterval(*v, 1);
        if (const auto* v = get("fill-rule"))
            style.fillRule = lowered(*v) == "evenodd" ? SvgFillRule::EvenOdd : SvgFillRule::NonZero;
        if (const auto* v = get("stroke-linecap")) {
            const std::string cap = lowered(*v);
            style.strokeShape.cap = cap == "round"    ? SvgLineCap::Round
                                    : cap == "square" ? SvgLineCap::Square
                                                      : SvgLineCap::Butt;
        }
        if (const auto* v = get("stroke-linejoin")) {
            const std::string join = lowered(*v);
            style.strokeShape.join = join == "round"   ? SvgLineJoin::Round
                                     : join == "bevel" ? SvgLineJoin::Bevel
                                                       : SvgLineJoin::Miter;
        }
        if (const auto* v = get("stroke-miterlimit")) style.strokeShape.miterLimit = std::max(1.0, firstNumber(*v, 4));
        if (const auto* v = get("visibility")) style.visible = lowered(*v) == "visible";
        if (const auto* v = get("display")) style.displayed = lowered(*v) != "none";
        return style;
    }

    bool spendElement() {
        if (budget_.elements == 0) {
            warnOnce("elements",
                     "It draws more than " + std::to_string(kSvgMaxElements) + " elements; the rest were left out.");
            return false;
        }
        --budget_.elements;
        return true;
    }

    void element(const XmlNode& node, const SvgMatrix& parentMatrix, const Style& parentStyle, int depth) {
        if (depth > kSvgMaxDepth) {
            warnOnce("depth", "Its elements nest more than " + std::to_string(kSvgMaxDepth) +
                                  " deep; the deeper ones were left out.");
            return;
        }
        if (!spendElement() || exhausted_) return;
        if (!canvas_.charge(kElementWork)) return stopDrawing();
        const std::string_view name = node.localName();
        if (name == "text") {
            warnOnce("text", "Its text was not drawn.");
            return;
        }
        const Style style = computed(node, parentStyle);
        if (!style.displayed) return;
        SvgMatrix matrix = parentMatrix * parseTransform(node.attribute("transform"));
        if (name == "svg" && depth > 0) {
            matrix = matrix * nestedViewport(node);
            children(node, matrix, style, depth);
        } else if (name == "svg" || name == "g" || name == "a") {
            children(node, matrix, style, depth);
        } else if (name == "switch") {
            for (const XmlNode& child : node.children)
                if (!child.isText()) return element(child, matrix, style, depth + 1);
        } else if (name == "use") {
            use(node, matrix, style, depth);
        } else if (name == "image") {
            if (style.visible) image(node, matrix, style);
        } else if (style.visible) {
            shape(node, matrix, style);
        }
    }

    void children(const XmlNode& node, const SvgMatrix& matrix, const Style& style, int depth) {
        for (const XmlNode& child : node.children)
            if (!child.isText()) element(child, matrix, style, depth + 1);
    }

    SvgMatrix nestedViewport(const XmlNode& node) const {
        const double x = parseLength(node.attribute("x"), 0, 0), y = parseLength(node.attribute("y"), 0, 0);
        const auto box = parseViewBox(node.attribute("viewbox"));
        const double width = parseLength(node.attribute("width"), box ? box->width : 0, box ? box->width : 0);
        const double height = parseLength(node.attribute("height"), box ? box->height : 0, box ? box->height : 0);
        if (!box || !(width > 0) || !(height > 0)) return translation(x, y);
        return fitBox(*box, x, y, width, height, node.attribute("preserveaspectratio"));
    }

    void use(const XmlNode& node, const SvgMatrix& matrix, const Style& style, int depth) {
        const XmlNode* target = byReference(node.attributeLocal("href"));
        if (target == nullptr || activeUses_.count(target) != 0) return;  // missing, or a cycle
        activeUses_.insert(target);
        const SvgMatrix placed =
            matrix * translation(parseLength(node.attribute("x"), 0, 0), parseLength(node.attribute("y"), 0, 0));
        if (target->localName() == "symbol") {
            const Style symbolStyle = computed(*target, style);
            children(*target, placed * nestedViewport(*target), symbolStyle, depth + 1);
        } else {
            element(*target, placed, style, depth + 1);
        }
        activeUses_.erase(target);
    }

    double tolerance(const SvgMatrix& matrix) const {
        const double scale = matrix.largestScale();
        return scale > 1e-12 && std::isfinite(scale) ? kFlatness / scale : 1e12;
    }

    SvgOutline outlineOf(const XmlNode& node, double tol, bool& known) {
        SvgPathBuilder path(tol, budget_.points);
        const std::string_view name = node.localName();
        const auto length = [&](const char* attribute) { return parseLength(node.attribute(attribute), 100, 0); };
        known = true;
        if (name == "path") {
            if (!readPathData(node.attribute("d"), path, budget_.commands))
                warnOnce("commands", "Its paths hold more than " + std::to_string(kSvgMaxPathCommands) +
                                         " commands; the rest were left out.");
        } else if (name == "rect") {
            const double width = length("width"), height = length("height");
            const std::string& rxText = node.attribute("rx");
            const std::string& ryText = node.attribute("ry");
            double rx = parseLength(rxText, 100, -1), ry = parseLength(ryText, 100, -1);
            if (rx < 0) rx = ry;
            if (ry < 0) ry = rx;
            if (width > 0 && height > 0)
                addRoundedRect(path, length("x"), length("y"), width, height, std::max(rx, 0.0), std::max(ry, 0.0));
        } else if (name == "circle") {
            const double r = length("r");
            if (r > 0) addEllipse(path, length("cx"), length("cy"), r, r);
        } else if (name == "ellipse") {
            const double rx = length("rx"), ry = length("ry");
            if (rx > 0 && ry > 0) addEllipse(path, length("cx"), length("cy"), rx, ry);
        } else if (name == "line") {
            path.moveTo({length("x1"), length("y1")});
            path.lineTo({length("x2"), length("y2")});
        } else if (name == "polyline" || name == "polygon") {
            const std::vector<double> n = readNumberList(node.attribute("points"));
            for (std::size_t i = 0; i + 1 < n.size(); i += 2) {
                if (i == 0)
                    path.moveTo({n[0], n[1]});
                else
                    path.lineTo({n[i], n[i + 1]});
            }
            if (name == "polygon" && n.size() >= 4) path.close();
        } else {
            known = false;
        }
        return path.take();
    }

    std::vector<SvgPolygon> toDevice(const std::vector<SvgPolygon>& pieces, const SvgMatrix& matrix) const {
        std::vector<SvgPolygon> device;
        device.reserve(pieces.size());
        for (const SvgPolygon& piece : pieces) {
            SvgPolygon out;
            out.reserve(piece.size());
            for (const SvgPoint p : piece) out.push_back(matrix.apply(p));
            device.push_back(std::move(out));
        }
        return device;
    }

    SvgColor colorOf(const Paint& paint, const Style& style) const {
        return paint.kind == Paint::Kind::CurrentColor ? style.color : paint.color;
    }

    void shape(const XmlNode& node, const SvgMatrix& matrix, const Style& style) {
        const double tol = tolerance(matrix);
        bool known = false;
        const SvgOutline outline = outlineOf(node, tol, known);
        if (!known || outline.empty()) return;
        const bool fillable = node.localName() != "line";
        if (fillable && style.fill.kind != Paint::Kind::None) {
            std::vector<SvgPolygon> areas;
            for (const SvgSubpath& subpath : outline) areas.push_back(subpath.points);
            draw(toDevice(areas, matrix), style.fillRule, colorOf(style.fill, style),
                 style.fillOpacity * style.opacity);
        }
        if (style.stroke.kind != Paint::Kind::None && style.strokeShape.width > 0) {
            draw(toDevice(strokeOutline(outline, style.strokeShape, tol, budget_.points), matrix), SvgFillRule::NonZero,
                 colorOf(style.stroke, style), style.strokeOpacity * style.opacity);
        }
        if (budget_.points <= 0)
            warnOnce("points", "Its curves and strokes need more than " + std::to_string(kSvgMaxPoints) +
                                   " points to draw; the rest were left out.");
    }

    void draw(const std::vector<SvgPolygon>& device, SvgFillRule rule, SvgColor color, double opacity) {
        if (!canvas_.fill(device, rule, color, opacity)) stopDrawing();
    }

    void stopDrawing() {
        exhausted_ = true;
        warnOnce("work", "It is too costly to draw in full; the rest was left out.");
    }

    const RgbaImage* picture(const std::string& href) {
        const auto cached = pictures_.find(href);
        if (cached != pictures_.end()) return cached->second.get();
        std::optional<std::string> data;
        const std::string_view link = trimmed(href);
        if (lowerAscii(std::string(link.substr(0, 5))) == "data:") {
            const std::size_t comma = link.find(',');
            const bool base64 = comma != std::string_view::npos &&
                                lowerAscii(std::string(link.substr(0, comma))).find(";base64") != std::string::npos;
            if (base64) data = decodeBase64(link.substr(comma + 1));
        } else if (load_) {
            data = load_(link);
        }
        std::unique_ptr<RgbaImage> decoded;
        if (data && picturePixelsLeft_ > 0)
            if (auto pixels = decodeRgba(*data, picturePixelsLeft_)) {
                picturePixelsLeft_ -= static_cast<long long>(pixels->width) * pixels->height;
                decoded = std::make_unique<RgbaImage>(std::move(*pixels));
            }
        if (!decoded)
            warnOnce("image:" + href,
                     "A picture it shows (" + std::string(link.substr(0, 60)) + ") could not be read.");
        return (pictures_[href] = std::move(decoded)).get();
    }

    void image(const XmlNode& node, const SvgMatrix& matrix, const Style& style) {
        const RgbaImage* pixels = picture(node.attributeLocal("href"));
        if (pixels == nullptr) return;
        const double x = parseLength(node.attribute("x"), 100, 0), y = parseLength(node.attribute("y"), 100, 0);
        const double width = parseLength(node.attribute("width"), 100, pixels->width);
        const double height = parseLength(node.attribute("height"), 100, pixels->height);
        if (!(width > 0) || !(height > 0)) return;
        const ViewBox box{0, 0, static_cast<double>(pixels->width), static_cast<double>(pixels->height)};
        const SvgMatrix placement = fitBox(box, x, y, width, height, node.attribute("preserveaspectratio"));
        const std::vector<SvgPolygon> clip{{{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}}};
        const SvgPixels view{pixels->width, pixels->height, 4, pixels->pixels.data()};
        if (!canvas_.drawPicture(view, matrix * placement, toDevice(clip, matrix), style.opacity)) stopDrawing();
    }

    const XmlNode& root_;
    SvgCanvas& canvas_;
    const SvgResourceLoader& load_;
    std::vector<std::string>& warnings_;
    std::set<std::string> warned_;
    std::map<std::string, const XmlNode*> ids_;
    std::vector<StyleRule> rules_;
    std::set<const XmlNode*> activeUses_;
    std::map<std::string, std::unique_ptr<RgbaImage>> pictures_;
    Budget budget_;
    long long picturePixelsLeft_ = kSvgMaxPicturePixels;
    bool exhausted_ = false;
};

std::size_t elementCount(std::string_view svg) {
    return static_cast<std::size_t>(std::count(svg.begin(), svg.end(), '<'));
}

// The parsed root <svg>, or nothing with the reason in `problem`.
std::optional<XmlNode> svgRoot(std::string_view svg, std::string& problem) {
    if (svg.size() > kSvgMaxInputBytes) {
        problem = "It is larger than " + std::to_string(kSvgMaxInputBytes / (1024 * 1024)) + " MB and was not drawn.";
        return std::nullopt;
    }
    if (elementCount(svg) > kSvgMaxElements) {
        problem = "It holds more than " + std::to_string(kSvgMaxElements) + " elements and was not drawn.";
        return std::nullopt;
    }
    try {
        XmlNode root = parseXml(svg, "SVG");
        if (root.localName() != "svg") {
            problem = "It is not an SVG document.";
            return std::nullopt;
        }
        return root;
    } catch (const ConversionError& error) {
        problem = error.message;
        return std::nullopt;
    }
}

SvgSize intrinsicSize(const XmlNode& root) {
    const auto box = parseViewBox(root.attribute("viewbox"));
    const std::string& widthText = root.attribute("width");
    const std::string& heightText = root.attribute("height");
    double width = isAbsoluteLength(widthText) ? parseLength(widthText, 0, 0) : 0;
    double height = isAbsoluteLength(heightText) ? parseLength(heightText, 0, 0) : 0;
    if (box) {
        if (width <= 0 && height > 0) width = height * box->width / box->height;
        if (height <= 0 && width > 0) height = width * box->height / box->width;
        if (width <= 0) width = box->width;
        if (height <= 0) height = box->height;
    }
    return {width > 0 ? width : 300, height > 0 ? height : 150};
}

SvgMatrix rootViewport(const XmlNode& root, int width, int height) {
    if (const auto box = parseViewBox(root.attribute("viewbox")))
        return fitBox(*box, 0, 0, width, height, root.attribute("preserveaspectratio"));
    const SvgSize size = intrinsicSize(root);
    return scaling(width / size.width, height / size.height);
}

// Transparency matters when more than a sliver shows through: a drawing whose edge falls
// between two pixels is still an opaque picture.
bool showsThrough(const std::vector<std::uint8_t>& rgba) {
    std::size_t translucent = 0;
    for (std::size_t at = 3; at < rgba.size(); at += 4)
        if (rgba[at] < 0xF0) ++translucent;
    return translucent * 100 > rgba.size() / 4;
}

// Over white, as a page shows it.
std::vector<std::uint8_t> onWhite(const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(rgba.size() / 4 * 3);
    for (std::size_t at = 0; at + 3 < rgba.size(); at += 4) {
        const unsigned alpha = rgba[at + 3];
        for (std::size_t c = 0; c < 3; ++c)
            rgb.push_back(static_cast<std::uint8_t>((rgba[at + c] * alpha + 255 * (255 - alpha) + 127) / 255));
    }
    return rgb;
}

void appendBytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

std::string encodedPng(const SvgRendering& rendering) {
    std::string png;
    if (!stbi_write_png_to_func(appendBytes, &png, rendering.width, rendering.height, 4, rendering.rgba.data(),
                                rendering.width * 4))
        return {};
    return png;
}

// Its own size, scaled into the screen of a reader that shows the raster, or up to `minHeight`
// where the larger box allows. Only old readers show a drawing's raster (newer ones draw the SVG
// itself), so it is fitted to their screen; a cover is shown by every reader.
void outputSize(const SvgSize& size, int minHeight, int& width, int& height) {
    const int boxWidth = minHeight > 0 ? kImageFitWidth : kSvgRasterWidth;
    const int boxHeight = minHeight > 0 ? kImageFitHeight : kSvgRasterHeight;
    double scale = std::min({1.0, boxWidth / size.width, boxHeight / size.height});
    if (size.height * scale < minHeight)
        scale = std::min({minHeight / size.height, boxWidth / size.width, boxHeight / size.height});
    width = std::clamp(static_cast<int>(std::lround(size.width * scale)), 1, boxWidth);
    height = std::clamp(static_cast<int>(std::lround(size.height * scale)), 1, boxHeight);
}

SvgRendering renderRoot(const XmlNode& root, int width, int height, const SvgResourceLoader& load) {
    SvgRendering result;
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kSvgMaxOutputPixels) {
        result.warnings.push_back("It was asked for at " + std::to_string(width) + "x" + std::to_string(height) +
                                  " pixels, more than " + std::to_string(kSvgMaxOutputPixels) + " or none.");
        return result;
    }
    SvgCanvas canvas(width, height);
    Renderer renderer(root, canvas, load, result.warnings);
    renderer.draw(rootViewport(root, width, height));
    result.width = width;
    result.height = height;
    result.rgba = canvas.rgba();
    return result;
}

// Line art on a transparent ground stays small as PNG; when too large it goes on white.
std::optional<std::string> encoded(const SvgRendering& rendering) {
    if (showsThrough(rendering.rgba)) {
        std::string png = encodedPng(rendering);
        if (!png.empty() && png.size() <= kImageKeepBytes) return png;
    }
    const std::vector<std::uint8_t> rgb = onWhite(rendering.rgba);
    std::string jpeg = encodeFittedJpeg(rgb.data(), rendering.width, rendering.height, 3);
    if (jpeg.empty()) return std::nullopt;
    return jpeg;
}

}  // namespace

std::optional<SvgSize> svgIntrinsicSize(std::string_view svg, std::string* problem) {
    std::string reason;
    const auto root = svgRoot(svg, reason);
    if (problem != nullptr) *problem = reason;
    if (!root) return std::nullopt;
    return intrinsicSize(*root);
}

SvgRendering renderSvg(std::string_view svg, int width, int height, const SvgResourceLoader& load) {
    std::string problem;
    const auto root = svgRoot(svg, problem);
    if (!root) return {0, 0, {}, {problem}};
    return renderRoot(*root, width, height, load);
}

SvgRaster rasterizeSvg(std::string_view svg, int minHeight, const SvgResourceLoader& load) {
    SvgRaster raster;
    std::string problem;
    const auto root = svgRoot(svg, problem);
    if (!root) {
        raster.warnings.push_back(problem);
        return raster;
    }
    int width = 0, height = 0;
    outputSize(intrinsicSize(*root), minHeight, width, height);
    SvgRendering rendering = renderRoot(*root, width, height, load);
    raster.warnings = std::move(rendering.warnings);
    if (rendering.rgba.empty()) return raster;
    raster.image = encoded(rendering);
    return raster;
}

}  // namespace mobigen
