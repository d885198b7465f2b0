#include "mobigen/kf8/kf8_book.h"

#include "mobigen/kf8/content_model.h"
#include "mobigen/kf8/css_filter.h"
#include "mobigen/kf8/svg_passthrough.h"
#include "mobigen/source/href.h"
#include "mobigen/text/ascii.h"
#include "platform/utf8.h"

#include <set>

namespace mobigen {
namespace {

// Stands for a number known only once every document is written: images may still be
// added after a font is referenced, and the stylesheet may come after an SVG flow.
constexpr char kOpen = kLateNumberMark;
constexpr char kFontMark = 'f';
constexpr char kSvgMark = 's';
constexpr char kMimeMark = 'm';  // images are fitted, and may change format, after they are referenced

// SVG flows beside the one stylesheet; readers type at most nine flows.
constexpr std::size_t kMaxSvgFlows = 8;
constexpr int kMaxImportDepth = 8;

std::string placeholder(char mark, std::size_t number) {
    return std::string(1, kOpen) + mark + std::to_string(number) + kOpen;
}

// A stylesheet may carry a stray mark of its own; it goes.
using LateValue = std::function<std::string(char mark, std::size_t number)>;

void resolvePlaceholders(std::string& text, const LateValue& value) {
    std::size_t at = 0;
    while ((at = text.find(kOpen, at)) != std::string::npos) {
        const std::size_t close = text.find(kOpen, at + 1);
        const char mark = at + 1 < text.size() ? text[at + 1] : 0;
        const std::string digits = close == std::string::npos ? "" : text.substr(at + 2, close - at - 2);
        const bool wellFormed = (mark == kFontMark || mark == kSvgMark || mark == kMimeMark) && !digits.empty() &&
                                digits.size() < 8 && digits.find_first_not_of("0123456789") == std::string::npos;
        if (!wellFormed) {
            text.erase(at, 1);
            continue;
        }
        const std::string number = value(mark, std::stoul(digits));
        text.replace(at, close + 1 - at, number);
        at += number.size();
    }
}

bool isFontFile(std::string_view data) {
    const std::string_view magic = data.substr(0, 4);
    return magic == std::string_view("\0\1\0\0", 4) || magic == "OTTO" || magic == "true";
}

}  // namespace

std::optional<XhtmlImage> Kf8Collector::image(const std::string& path, bool svgAllowed) {
    const auto known = svgFlows_.find(path);
    if (known != svgFlows_.end())
        return XhtmlImage{"kindle:flow:" + placeholder(kSvgMark, known->second) + "?mime=image/svg+xml", {}};
    // Each file is read once where it can be: the MOBI 6 part may have read it already.
    std::optional<std::string> data;
    if (!collector_.isKnown(path)) {
        data = load_(path);
        if (!data || sniffImageFormat(*data) != ImageFormat::Svg)
            return embedded(collector_.record(path, [&] { return std::move(data); }));
    } else if (collector_.isSvg(path)) {
        data = load_(path);
    }
    if (data) {
        if (!svgAllowed) return std::nullopt;
        struct SvgHooks : XhtmlHooks {
            Kf8Collector& owner;
            std::string folder;
            SvgHooks(Kf8Collector& o, std::string f) : owner(o), folder(std::move(f)) {}
            std::optional<XhtmlImage> image(std::string_view src) override {
                const auto resolved = hasUriScheme(src) ? std::nullopt : resolvePath(folder, splitHref(src).path);
                return resolved ? owner.image(*resolved, false) : std::nullopt;
            }
            std::optional<std::string> link(std::string_view) override { return std::nullopt; }
            std::optional<std::string> stylesheet(std::string_view) override { return std::nullopt; }
            std::string style(std::string_view css, bool attribute, bool onRoot) override {
                return owner.style(css, folder, attribute, onRoot);
            }
        } hooks(*this, folderOf(path));
        std::string svg = writeSvgElement(*data, hooks);
        if (svg.empty()) return std::nullopt;
        if (svgs_.size() >= kMaxSvgFlows) return XhtmlImage{{}, std::move(svg)};
        svgs_.push_back("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + svg);
        svgFlows_.emplace(path, svgs_.size());
        return XhtmlImage{"kindle:flow:" + placeholder(kSvgMark, svgs_.size()) + "?mime=image/svg+xml", {}};
    }
    return embedded(collector_.record(path, [&] { return load_(path); }));
}

std::optional<XhtmlImage> Kf8Collector::embedded(std::size_t record) const {
    if (record == 0) return std::nullopt;
    return XhtmlImage{"kindle:embed:" + base32(record, 4) + "?mime=" + placeholder(kMimeMark, record), {}};
}

std::optional<std::string> Kf8Collector::stylesheet(const std::string& path) {
    if (sheets_.insert(path).second) css_ += filterSheet(path, 0);
    if (css_.empty()) return std::nullopt;
    return "kindle:flow:" + base32(1, 4) + "?mime=text/css";
}

std::string Kf8Collector::filterSheet(const std::string& path, int depth) {
    const auto text = load_(path);
    if (!text || !platform::isValidUtf8(*text)) {
        diagnostics_.warn("The stylesheet " + path + (text ? " is not UTF-8" : " is missing") + " and was left out.");
        return {};
    }
    const std::string folder = folderOf(path);
    CssContext context = contextFor(folder);
    context.imports = [&](std::string_view url) -> std::optional<std::string> {
        const auto imported = resolvePath(folder, splitHref(url).path);
        if (!imported || depth >= kMaxImportDepth || !sheets_.insert(*imported).second) return std::nullopt;
        return filterSheet(*imported, depth + 1);
    };
    const FilteredCss filtered = filterStylesheet(platform::withoutUtf8Mark(*text), context);
    noteFiltered(filtered);
    return filtered.css;
}

std::string Kf8Collector::style(std::string_view css, const std::string& folder, bool attribute, bool onRoot) {
    const CssContext context = contextFor(folder);
    const FilteredCss filtered = attribute ? filterDeclarations(css, context, onRoot) : filterStylesheet(css, context);
    noteFiltered(filtered);
    return filtered.css;
}

CssContext Kf8Collector::contextFor(const std::string& folder) {
    CssContext context;
    context.urls = [this, folder](std::string_view url, CssUrlKind kind) { return styleUrl(url, kind, folder); };
    context.rename = xhtmlTypeSelector;
    return context;
}

void Kf8Collector::noteFiltered(const FilteredCss& filtered) {
    droppedStyles_.insert(filtered.dropped.begin(), filtered.dropped.end());
    if (!filtered.writingMode.empty() && writingMode_.empty()) writingMode_ = filtered.writingMode;
}

std::optional<std::string> Kf8Collector::styleUrl(std::string_view url, CssUrlKind kind, const std::string& folder) {
    if (hasUriScheme(url)) return std::nullopt;
    const auto path = resolvePath(folder, splitHref(url).path);
    if (!path) return std::nullopt;
    if (kind == CssUrlKind::Font) return font(*path);
    const auto address = image(*path, false);
    if (!address) return std::nullopt;
    return address->src;
}

std::optional<std::string> Kf8Collector::font(const std::string& path) {
    auto known = fonts_.find(path);
    if (known == fonts_.end()) {
        std::optional<std::string> data = load_(path);
        if (data && decodeFont_) data = decodeFont_(path, std::move(*data));
        std::size_t number = 0;
        if (!data) {
            diagnostics_.warn("The font " + path + " is missing or cannot be read and was left out.");
        } else if (!isFontFile(*data)) {
            diagnostics_.warn("The font " + path + " is not TrueType or OpenType and was left out.");
        } else {
            part_.fonts.push_back(Font{std::move(*data)});
            number = part_.fonts.size();
        }
        known = fonts_.emplace(path, number).first;
    }
    if (known->second == 0) return std::nullopt;
    return "kindle:embed:" + placeholder(kFontMark, known->second);
}

void Kf8Collector::linkStylesheetEverywhere() {
    const std::string link = stylesheetLink();
    for (auto& document : part_.documents) {
        const std::size_t title = document.find("</title>");
        if (document.find(link) == std::string::npos && title != std::string::npos) document.insert(title + 8, link);
    }
}

Kf8Part Kf8Collector::finish(const std::string& extraCss) {
    css_ += extraCss;
    const std::size_t cssFlows = css_.empty() ? 0 : 1;
    if (cssFlows == 1) {
        part_.flows.push_back(std::move(css_));
        part_.flowTypes.emplace_back("text/css");
    }
    for (auto& svg : svgs_) {
        part_.flows.push_back(std::move(svg));
        part_.flowTypes.emplace_back("image/svg+xml");
    }
    if (!extraCss.empty()) linkStylesheetEverywhere();
    collector_.fitAll();
    const LateValue value = [&](char mark, std::size_t number) -> std::string {
        if (mark == kMimeMark) return number <= images_.size() ? imageMimeType(images_[number - 1].data) : "image/jpeg";
        return base32((mark == kFontMark ? images_.size() : cssFlows) + number, 4);
    };
    for (auto& text : part_.flows) resolvePlaceholders(text, value);
    for (auto& document : part_.documents) resolvePlaceholders(document, value);
    if (!droppedStyles_.empty()) {
        std::string names;
        for (const auto& name : droppedStyles_) names += (names.empty() ? "" : ", ") + name;
        diagnostics_.warn("Styles Kindles cannot use were left out of the KF8 part: " + names + ".");
    }
    return std::move(part_);
}

}  // namespace mobigen
