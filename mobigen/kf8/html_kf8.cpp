#include "mobigen/kf8/html_kf8.h"

#include "mobigen/kf8/kf8_book.h"
#include "mobigen/kf8/xhtml_writer.h"
#include "mobigen/outline/text_page.h"
#include "mobigen/source/href.h"

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

// Deeper levels, where a book has them, step in as level 1 does.
std::string textCss(const std::vector<Kf8TocEntry>& toc) {
    int deepest = 0;
    for (const auto& entry : toc) deepest = std::max(deepest, entry.depth);
    std::string css = kTextCss;
    for (int depth = 2; depth <= deepest; ++depth)
        css += "div.toc-level-" + std::to_string(depth) + " {margin-left: " + std::to_string(2 * depth) + "em}\n";
    return css;
}

// Any depth: a web novel's volumes hold chapters, and an HTML page may nest three levels.
std::string contentsPage(const std::vector<Kf8TocEntry>& toc, const std::string& contentsTitle) {
    std::string body = "<h1 class=\"contents\">";
    appendXmlEscaped(body, contentsTitle, false);
    body += "</h1>";
    for (const auto& entry : toc) {
        body += "<div class=\"toc-entry toc-level-" + std::to_string(entry.depth) + "\"><a href=\"" +
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

// A Kindle turns pages slowly in a long document, so a chapter (or a text without headings)
// goes on in a new document after about this much, at a paragraph's end.
constexpr std::size_t kMaxTextDocument = 256 << 10;

// Where a document starts in the lines, and the outline entry it opens, if any.
struct TextCut {
    std::size_t at = 0;
    std::size_t entry = kNoEntry;
    static constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);
};

// A cut at every heading and, past the size bound, at the next line. The text before the
// first cut, when it has any, is a document of its own.
std::vector<TextCut> cutsOf(std::string_view lines, const Outline& outline) {
    std::vector<TextCut> cuts;
    const auto& entries = outline.entries();
    std::size_t next = 0, documentStart = 0;
    std::string scratch;
    PageLines reader(lines);
    for (std::string_view line; reader.next(line);) {
        if (next < entries.size() && reader.at() == entries[next].at) {
            cuts.push_back({reader.at(), next++});
            documentStart = reader.at();
        } else if (reader.at() - documentStart > kMaxTextDocument && !trimLine(plainLine(line, scratch)).empty()) {
            cuts.push_back({reader.at(), TextCut::kNoEntry});
            documentStart = reader.at();
        }
    }
    return cuts;
}

bool hasText(std::string_view lines) {
    PageLines reader(lines);
    std::string scratch;
    for (std::string_view line; reader.next(line);)
        if (!trimLine(plainLine(line, scratch)).empty()) return true;
    return false;
}

// Writes the documents straight from the lines, one at a time when the writer asks, so a
// novel of many megabytes is never held twice.
class TextDocuments {
public:
    TextDocuments(std::string lines, std::vector<TextCut> cuts, std::vector<HeadingLine> headings, std::string title,
                  std::string language, std::string contentsPage)
        : lines_(std::move(lines)),
          cuts_(std::move(cuts)),
          headings_(std::move(headings)),
          title_(std::move(title)),
          language_(std::move(language)),
          contents_(std::move(contentsPage)) {}

    bool operator()(std::string& document) {
        document.clear();
        if (!contents_.empty()) {
            document.swap(contents_);
            return true;
        }
        while (next_ <= cuts_.size()) {
            writePart(next_++, document);
            if (!document.empty()) return gave_ = true;
        }
        if (gave_) return false;
        gave_ = true;  // a page without text still makes a book
        document = xhtmlDocument(title_, stylesheetLink(), {}, "<div></div>", language_);
        return true;
    }

private:
    // Part 0 is the text before the first cut, part k runs from the k-th cut; empty when it has
    // no text.
    void writePart(std::size_t part, std::string& document) {
        const std::size_t from = part == 0 ? 0 : cuts_[part - 1].at;
        const std::size_t to = part < cuts_.size() ? cuts_[part].at : lines_.size();
        PageLines reader(std::string_view(lines_).substr(0, to), from);
        std::string_view line;
        const std::size_t entry = part == 0 ? TextCut::kNoEntry : cuts_[part - 1].entry;
        if (entry != TextCut::kNoEntry && reader.next(line)) {
            const SplitHeading split = splitHeadingLine(plainLine(line, scratch_), headings_[entry]);
            begin(document, trimLine(split.heading), headings_[entry].level == HeadingLevel::Volume);
            appendParagraph(document, split.rest);
        }
        while (reader.next(line)) appendParagraph(document, trimLine(plainLine(line, scratch_)));
        if (!document.empty()) document += kXhtmlDocumentEnd;
    }

    void appendParagraph(std::string& document, std::string_view text) const {
        if (text.empty()) return;
        if (document.empty()) begin(document, {}, false);
        document += "<p>";
        appendXmlEscaped(document, text, false);
        document += "</p>";
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
    std::vector<TextCut> cuts_;
    std::vector<HeadingLine> headings_;
    std::string title_;
    std::string language_;
    std::string contents_;
    std::string scratch_;
    std::size_t next_ = 0;  // the part to write next
    bool gave_ = false;
};

}  // namespace

Kf8Part textDerivedKf8(std::string lines, TextOutline outline, const std::string& title,
                       const std::string& contentsTitle, const std::string& language) {
    Kf8Part part;
    std::vector<TextCut> cuts = cutsOf(lines, outline.outline);
    // Documents count from the contents page, then the text before the first cut if it has any.
    std::size_t document = hasText(std::string_view(lines).substr(0, cuts.empty() ? lines.size() : cuts[0].at)) ? 2 : 1;
    for (const TextCut& cut : cuts) {
        if (cut.entry == TextCut::kNoEntry) {
            ++document;
            continue;
        }
        const OutlineEntry& entry = outline.outline.entries()[cut.entry];
        part.toc.push_back({entry.title, {document++, {}}, entry.depth});
    }
    part.flows.push_back(textCss(part.toc));
    part.flowTypes.emplace_back("text/css");
    part.start = Kf8Target{0, {}};
    std::string contents;
    if (!part.toc.empty()) {
        contents = xhtmlDocument(contentsTitle, stylesheetLink(), {}, contentsPage(part.toc, contentsTitle), language);
        part.contents = Kf8Target{0, {}};
        part.start = Kf8Target{1, {}};
    }
    part.documentSourceSize = lines.size();
    part.documentSource = TextDocuments(std::move(lines), std::move(cuts), std::move(outline.headings), title, language,
                                        std::move(contents));
    return part;
}

Kf8Part htmlKf8(std::string_view html, const Outline& outline, ImageCollector& collector, std::vector<Image>& images,
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
    for (const OutlineEntry& entry : outline.entries()) {
        const std::string id = entry.at < written.headings.size() ? written.headings[entry.at].id : std::string();
        part.toc.push_back({entry.title, {0, id}, entry.depth});
    }
    part.start = Kf8Target{0, {}};
    pointMissingTargetsAtTheirDocument(part);
    return part;
}

}  // namespace mobigen
