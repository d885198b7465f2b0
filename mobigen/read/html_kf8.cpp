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

// Writes the documents straight from the lines: a novel of many megabytes is copied once.
class TextDocuments {
public:
    TextDocuments(std::string_view title, const std::string& language, Kf8Part& part)
        : title_(title), language_(language), part_(part) {}

    void paragraph(std::string_view text) {
        if (!open_) begin({}, false);
        std::string& document = part_.documents.back();
        document += "<p>";
        appendXmlEscaped(document, text, false);
        document += "</p>";
    }

    void heading(std::string_view text, bool volume) {
        sawVolume_ = sawVolume_ || volume;
        part_.toc.push_back({std::string(text), {part_.documents.size(), {}}, volume || !sawVolume_ ? 0 : 1});
        begin(text, volume);
    }

    void finish() {
        if (open_) {
            part_.documents.back() += kXhtmlDocumentEnd;
            part_.documents.back().shrink_to_fit();  // growth slack, over all chapters, is megabytes
        }
        open_ = false;
    }

private:
    void begin(std::string_view heading, bool volume) {
        finish();
        part_.documents.push_back(
            xhtmlDocumentStart(heading.empty() ? title_ : heading, stylesheetLink(), {}, language_));
        open_ = true;
        if (heading.empty()) return;
        std::string& document = part_.documents.back();
        const char* tag = volume ? "h1" : "h2";
        document += std::string("<") + tag + ">";
        appendXmlEscaped(document, heading, false);
        document += std::string("</") + tag + ">";
    }

    std::string_view title_;
    const std::string& language_;
    Kf8Part& part_;
    bool open_ = false;
    bool sawVolume_ = false;
};

}  // namespace

Kf8Part textDerivedKf8(std::string_view title, std::string_view lines, const std::string& contentsTitle,
                       const std::string& language) {
    Kf8Part part;
    part.flows.emplace_back(kTextCss);
    part.flowTypes.emplace_back("text/css");
    TextDocuments documents(title, language, part);
    for (std::size_t start = 0; start < lines.size();) {
        std::size_t end = lines.find("<br>", start);
        if (end == std::string_view::npos) end = lines.size();
        const std::string_view line = lines.substr(start, end - start);
        start = end + 4;
        const std::string_view text = trimLine(line);
        if (text.empty()) continue;
        if (const auto level = detectChapterHeading(line)) {
            documents.heading(text, *level == HeadingLevel::Volume);
        } else {
            documents.paragraph(text);
        }
    }
    documents.finish();
    if (part.documents.empty())
        part.documents.push_back(xhtmlDocument(title, stylesheetLink(), {}, "<div></div>", language));
    part.start = Kf8Target{0, {}};
    if (part.toc.empty()) return part;
    // The contents page goes first; everything after it moves up by one.
    for (auto& entry : part.toc) ++entry.target.document;
    part.documents.insert(part.documents.begin(), xhtmlDocument(contentsTitle, stylesheetLink(), {},
                                                                contentsPage(part.toc, contentsTitle), language));
    part.contents = Kf8Target{0, {}};
    part.start = Kf8Target{1, {}};
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
    pointMissingTargetsAtTheirDocument(part);
    return part;
}

}  // namespace mobigen
