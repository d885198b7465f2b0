#include "mobigen/kf8/fixed_layout.h"

#include "mobigen/images/image_fit.h"
#include "mobigen/text/ascii.h"

#include <cctype>

namespace mobigen {
namespace {

// Larger than any screen or scan; a bigger number is a typo or hostile.
constexpr int kMaxPageSide = 20000;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// A side in pixels, allowing a "px" after it.
std::optional<int> pageSide(std::string_view text) {
    text = trimmed(text);
    if (text.size() > 2 && text.substr(text.size() - 2) == "px") text = trimmed(text.substr(0, text.size() - 2));
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxPageSide) return std::nullopt;
    return value;
}

std::optional<PageSize> fromViewport(std::string_view text) {
    std::optional<int> width, height;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(",;");
        const std::string_view pair = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string key = lowerAscii(trimmed(pair.substr(0, equals)));
        if (key == "width") width = pageSide(pair.substr(equals + 1));
        if (key == "height") height = pageSide(pair.substr(equals + 1));
    }
    if (!width || !height) return std::nullopt;
    return PageSize{*width, *height};
}

std::string viewportContent(PageSize size) {
    return "width=" + std::to_string(size.width) + ", height=" + std::to_string(size.height);
}

}  // namespace

std::optional<PageSize> parsePageSize(std::string_view text) {
    if (text.find('=') != std::string_view::npos) return fromViewport(text);
    const std::size_t x = lowerAscii(text).find('x');
    if (x == std::string::npos) return std::nullopt;
    const auto width = pageSide(text.substr(0, x));
    const auto height = pageSide(text.substr(x + 1));
    if (!width || !height) return std::nullopt;
    return PageSize{*width, *height};
}

bool isFixedLayout(const Package& package) {
    const bool byDefault = package.renditionLayout == "pre-paginated";
    std::size_t fixed = 0;
    for (const SpineItem& item : package.spine) {
        if (hasToken(item.properties, "rendition:layout-pre-paginated")) {
            ++fixed;
        } else if (!hasToken(item.properties, "rendition:layout-reflowable") && byDefault) {
            ++fixed;
        }
    }
    return fixed * 2 > package.spine.size();
}

std::string PageViewports::forPage(std::string_view declared, Diagnostics& diagnostics) {
    const std::optional<PageSize> own = parsePageSize(declared);
    if (!book_) {
        book_ = own ? *own : bookSize();
        if (!own)
            diagnostics.warn(
                "The fixed-layout book gives no page size (an original-resolution, or a viewport on its "
                "first page); its pages are laid out as " +
                std::to_string(book_->width) + " x " + std::to_string(book_->height) + ".");
    }
    return viewportContent(own ? *own : *book_);
}

PageSize PageViewports::bookSize() const { return book_ ? *book_ : PageSize{kImageFitWidth, kImageFitHeight}; }

}  // namespace mobigen
