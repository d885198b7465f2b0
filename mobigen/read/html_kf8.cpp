#include "mobigen/read/html_kf8.h"

#include "mobigen/flow/chapters.h"
#include "mobigen/flow/xhtml_writer.h"
#include "mobigen/read/href.h"
#include "mobigen/read/kf8_book.h"

#include <algorithm>

namespace mobigen {
namespace {

// Set like a printed Chinese book: indented paragraphs without gaps, headings on new pages.
constexpr const char* kTextCss =
    "p {margin: 0; text-indent: 2em}\n"
    "h1, h2 {margin: 1em 0; text-align: center; page-break-before: always}\n"
    "h1.contents {page-break-before: auto}\n"
    "div.toc-entry {margin: 0.3em 0}\n"
    "div.toc-level-1 {margin-left: 2em}\n";

struct Chapter {
    std::string heading;  // empty for the text before the first heading
    bool volume = false;
    std::string paragraphs;
};

std::vector<Chapter> splitChapters(std::string_view lines) {
    std::vector<Chapter> chapters(1);
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find("<br>", start);
        if (end == std::string_view::npos) end = lines.size();
        const std::string_view line = lines.substr(start, end - start);
        start = end + 4;
        const std::string_view text = trimLine(line);
        if (text.empty()) continue;
        if (const auto level = detectChapterHeading(line)) {
            chapters.push_back({std::string(text), *level == HeadingLevel::Volume, {}});
            continue;
        }
        chapters.back().paragraphs += "<p>";
        appendXmlEscaped(chapters.back().paragraphs, text, false);
        chapters.back().paragraphs += "</p>";
    }
    return chapters;
}

std::string cssLink() {
    return "<link href=\"kindle:flow:" + kf8Number(1) + "?mime=text/css\" rel=\"stylesheet\" type=\"text/css\"/>";
}

std::string contentsPage(const std::vector<Kf8TocEntry>& toc, const std::string& contentsTitle) {
    std::string body = "<h1 class=\"contents\">";
    appendXmlEscaped(body, contentsTitle, false);
    body += "</h1>";
    for (const auto& entry : toc) {
        body += "<div class=\"toc-entry toc-level-" + std::to_string(std::min(entry.depth, 1)) + "\"><a href=\"" +
                kf8Link(entry.target.document, {}) + "\">";
        appendXmlEscaped(body, entry.title, false);
        body += "</a></div>";
    }
    return body;
}

class HtmlKf8Hooks : public XhtmlHooks {
public:
    explicit HtmlKf8Hooks(Kf8Collector& kf8) : kf8_(kf8) {}

    std::optional<XhtmlImage> image(std::string_view src) override {
        const std::string path = splitHref(src).path;
        if (hasUriScheme(src) || path.empty()) return std::nullopt;
        return kf8_.image(path, true);
    }

    std::optional<std::string> link(std::string_view href) override {
        if (isFollowableExternalHref(href)) return std::string(href);
        if (href.empty() || href[0] != '#') return std::nullopt;
        return kf8Link(0, percentDecode(href.substr(1)));
    }

    std::optional<std::string> stylesheet(std::string_view href) override {
        const std::string path = splitHref(href).path;
        if (hasUriScheme(href) || path.empty()) return std::nullopt;
        return kf8_.stylesheet(path);
    }

    std::string style(std::string_view css, bool attribute, bool onRoot) override {
        return kf8_.style(css, {}, attribute, onRoot);
    }

private:
    Kf8Collector& kf8_;
};

}  // namespace

Kf8Part textDerivedKf8(std::string_view title, std::string_view lines, const std::string& contentsTitle,
                       const std::string& language) {
    const std::vector<Chapter> chapters = splitChapters(lines);
    const bool hasHeadings = chapters.size() > 1;
    const bool hasPreface = !chapters.front().paragraphs.empty() || !hasHeadings;
    Kf8Part part;
    part.flows.emplace_back(kTextCss);
    part.flowTypes.emplace_back("text/css");
    std::size_t document = hasHeadings ? 1 : 0;
    bool sawVolume = false;
    for (std::size_t i = hasPreface ? 0 : 1; i < chapters.size(); ++i, ++document) {
        const Chapter& c = chapters[i];
        std::string body;
        if (!c.heading.empty()) {
            const char* tag = c.volume ? "h1" : "h2";
            body = std::string("<") + tag + ">";
            appendXmlEscaped(body, c.heading, false);
            body += std::string("</") + tag + ">";
            sawVolume = sawVolume || c.volume;
            part.toc.push_back({c.heading, {document, {}}, c.volume || !sawVolume ? 0 : 1});
        }
        body += c.paragraphs.empty() && c.heading.empty() ? "<div></div>" : c.paragraphs;
        part.documents.push_back(xhtmlDocument(c.heading.empty() ? title : c.heading, cssLink(), {}, body, language));
    }
    if (hasHeadings) {
        part.documents.insert(part.documents.begin(), xhtmlDocument(contentsTitle, cssLink(), {},
                                                                    contentsPage(part.toc, contentsTitle), language));
        part.contents = Kf8Target{0, {}};
    }
    part.start = Kf8Target{hasHeadings ? 1u : 0u, {}};
    return part;
}

Kf8Part htmlKf8(std::string_view html, ImageCollector& collector, std::vector<Image>& images,
                const ResourceLoader& resources, Diagnostics& diagnostics) {
    Kf8Collector kf8(
        images, collector,
        [&resources](const std::string& path) -> std::optional<std::string> {
            if (!resources) return std::nullopt;
            return resources(path);
        },
        diagnostics);
    HtmlKf8Hooks hooks(kf8);
    XhtmlResult written = writeXhtmlDocument(html, hooks, true);
    kf8.addDocument(std::move(written.document));
    Kf8Part part = kf8.finish({});
    part.writingMode = kf8.sheetWritingMode();
    if (part.writingMode == "vertical-rl") part.pageProgression = "rtl";
    if (written.headings.size() >= 2) {
        int top = 3;
        for (const auto& h : written.headings) top = std::min(top, h.level);
        for (const auto& h : written.headings) {
            if (!h.text.empty()) appendKf8TocEntry(part.toc, {h.text, {0, h.id}, h.level - top});
        }
    }
    part.start = Kf8Target{0, {}};
    return part;
}

}  // namespace mobigen
