#include "mobigen/kf8/html_kf8.h"

#include "mobigen/outline/chapters.h"
#include "mobigen/kf8/xhtml_writer.h"
#include "mobigen/source/href.h"
#include "mobigen/kf8/kf8_book.h"

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

// The lines of a text page one at a time, from `start`, each with its text trimmed; empty
// lines are skipped.
class TextLines {
public:
    TextLines(std::string_view lines, std::size_t start) : lines_(lines), start_(start) {}

    bool next(std::string_view& line, std::string_view& text) {
        while (start_ < lines_.size()) {
            std::size_t end = lines_.find("<br>", start_);
            if (end == std::string_view::npos) end = lines_.size();
            line = lines_.substr(start_, end - start_);
            text = trimLine(line);
            at_ = start_;
            start_ = end + 4;
            if (!text.empty()) return true;
        }
        return false;
    }
    // Where the line last given starts.
    std::size_t at() const { return at_; }

private:
    std::string_view lines_;
    std::size_t start_;
    std::size_t at_ = 0;
};

struct TextChapter {
    std::size_t at = 0;  // where its heading's line starts
    bool volume = false;
};

// The headings, found once: they make the contents, and the documents are cut at them. The
// contents page comes first, then the text before the first heading (if any) and a document
// per chapter.
struct TextOutline {
    std::vector<TextChapter> chapters;
    std::vector<Kf8TocEntry> toc;
};

TextOutline outlineOf(std::string_view lines) {
    TextOutline outline;
    std::size_t document = 1;
    bool sawVolume = false;
    TextLines reader(lines, 0);
    for (std::string_view line, text; reader.next(line, text);) {
        const auto level = detectChapterHeading(line);
        if (!level) {
            if (outline.toc.empty()) document = 2;
            continue;
        }
        const bool volume = *level == HeadingLevel::Volume;
        sawVolume = sawVolume || volume;
        outline.chapters.push_back({reader.at(), volume});
        outline.toc.push_back({std::string(text), {document++, {}}, volume || !sawVolume ? 0 : 1});
    }
    return outline;
}

// Writes the documents straight from the lines, a chapter at a time when the writer asks, so a
// novel of many megabytes is never held twice.
class TextDocuments {
public:
    TextDocuments(std::string lines, std::vector<TextChapter> chapters, std::string title, std::string language,
                  std::string contentsPage)
        : lines_(std::move(lines)),
          chapters_(std::move(chapters)),
          title_(std::move(title)),
          language_(std::move(language)),
          contents_(std::move(contentsPage)) {}

    bool operator()(std::string& document) {
        document.clear();
        if (!contents_.empty()) {
            document.swap(contents_);
            return true;
        }
        while (next_ <= chapters_.size()) {
            writePart(next_++, document);
            if (!document.empty()) return gave_ = true;
        }
        if (gave_) return false;
        gave_ = true;  // a page without text still makes a book
        document = xhtmlDocument(title_, stylesheetLink(), {}, "<div></div>", language_);
        return true;
    }

private:
    // Part 0 is the text before the first heading, part k the k-th chapter; empty when it has no text.
    void writePart(std::size_t part, std::string& document) const {
        const std::size_t end = part < chapters_.size() ? chapters_[part].at : lines_.size();
        TextLines reader(std::string_view(lines_).substr(0, end), part == 0 ? 0 : chapters_[part - 1].at);
        std::string_view line, text;
        if (part > 0 && reader.next(line, text)) begin(document, text, chapters_[part - 1].volume);
        while (reader.next(line, text)) {
            if (document.empty()) begin(document, {}, false);
            document += "<p>";
            appendXmlEscaped(document, text, false);
            document += "</p>";
        }
        if (!document.empty()) document += kXhtmlDocumentEnd;
    }

    void begin(std::string& document, std::string_view heading, bool volume) const {
        document = xhtmlDocumentStart(heading.empty() ? title_ : heading, stylesheetLink(), {}, language_);
        if (heading.empty()) return;
        const char* tag = volume ? "h1" : "h2";
        document += std::string("<") + tag + ">";
        appendXmlEscaped(document, heading, false);
        document += std::string("</") + tag + ">";
    }

    std::string lines_;
    std::vector<TextChapter> chapters_;
    std::string title_;
    std::string language_;
    std::string contents_;
    std::size_t next_ = 0;  // the part to write next
    bool gave_ = false;
};

}  // namespace

Kf8Part textDerivedKf8(std::string lines, const std::string& title, const std::string& contentsTitle,
                       const std::string& language) {
    Kf8Part part;
    part.flows.emplace_back(kTextCss);
    part.flowTypes.emplace_back("text/css");
    TextOutline outline = outlineOf(lines);
    part.toc = std::move(outline.toc);
    part.start = Kf8Target{0, {}};
    std::string contents;
    if (!part.toc.empty()) {
        contents = xhtmlDocument(contentsTitle, stylesheetLink(), {}, contentsPage(part.toc, contentsTitle), language);
        part.contents = Kf8Target{0, {}};
        part.start = Kf8Target{1, {}};
    }
    part.documentSourceSize = lines.size();
    part.documentSource =
        TextDocuments(std::move(lines), std::move(outline.chapters), title, language, std::move(contents));
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
