#include "mobigen/book/book_readers.h"

#include "mobigen/images/images.h"
#include "mobigen/kf8/html_kf8.h"
#include "mobigen/mobi6/flow_builder.h"
#include "mobigen/mobi6/html_reducer.h"
#include "mobigen/mobi6/text_body.h"
#include "mobigen/outline/text_page.h"
#include "mobigen/source/href.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/html_tokenizer.h"
#include "mobigen/text/language.h"
#include "platform/utf8.h"

#include <algorithm>

namespace mobigen {
namespace {

// Title, language and authors from the head of a hand-written HTML document.
Metadata readHtmlHead(std::string_view html) {
    Metadata metadata;
    HtmlTokenizer tokenizer(html);
    HtmlToken token;
    bool inTitle = false;
    while (tokenizer.next(token)) {
        if (token.kind == HtmlTokenKind::StartTag) {
            if (token.name == "body") break;
            inTitle = token.name == "title" && !token.selfClosing && metadata.title.empty();
            const std::string* lang = token.attribute("lang");
            if (token.name == "html" && lang != nullptr) metadata.language = *lang;
            const std::string* name = token.attribute("name");
            const std::string* content = token.attribute("content");
            if (token.name == "meta" && name != nullptr && content != nullptr && !content->empty()) {
                if (*name == "author") metadata.authors.push_back(*content);
                if (*name == "description") metadata.description = *content;
            }
        } else if (token.kind == HtmlTokenKind::Text && inTitle) {
            metadata.title = collapseAsciiSpaces(token.text);
            inTitle = false;
        }
    }
    return metadata;
}

// Links and images of a document read on its own.
class StandaloneHooks : public ReducerHooks {
public:
    StandaloneHooks(ImageCollector& images, const ResourceLoader& resources, Diagnostics& diagnostics)
        : images_(images), resources_(resources), diagnostics_(diagnostics) {}

    std::size_t imageRecord(std::string_view src) override {
        const std::string path = splitHref(src).path;
        if (hasUriScheme(src) || path.empty()) return 0;
        return images_.record(path, [&]() -> std::optional<std::string> {
            if (!resources_) return std::nullopt;
            return resources_(path);
        });
    }

    std::size_t inlineSvgRecord(std::string_view svg) override {
        return images_.record("#svg-" + std::to_string(++inlineSvgs_), [&] { return std::optional<std::string>(svg); });
    }

    LinkResolution resolveLink(std::string_view href) override {
        if (isFollowableExternalHref(href)) return {LinkResolution::Kind::External, std::string(href), {}};
        if (href.empty() || href[0] != '#') {
            if (!hasUriScheme(href) && ++otherFiles_ == 1) {
                diagnostics_.warn("Links to other files (such as " + std::string(href) +
                                  ") were removed: only this document goes into the book.");
            }
            return {};
        }
        return {LinkResolution::Kind::Internal, {}, {anchorKey(percentDecode(href.substr(1))), kStartKey}};
    }

    std::string anchorKey(std::string_view id) override { return "#" + std::string(id); }

    void heading(int level, const std::string& text, const std::string& key) override {
        headings.push_back({collapseAsciiSpaces(text), key, level});
    }

    struct Heading {
        std::string title;
        std::string key;
        int level;
    };
    std::vector<Heading> headings;

private:
    ImageCollector& images_;
    const ResourceLoader& resources_;
    Diagnostics& diagnostics_;
    int otherFiles_ = 0;
    int inlineSvgs_ = 0;
};

// One heading is no contents; an entry's `at` is its heading's number, which both parts count alike.
Outline outlineOfHeadings(const std::vector<StandaloneHooks::Heading>& headings) {
    Outline outline;
    if (headings.size() < 2) return outline;
    for (std::size_t i = 0; i < headings.size(); ++i) {
        if (!headings[i].title.empty()) outline.add(headings[i].title, headings[i].level, i);
    }
    return outline;
}

// The contents page and chapter headings of a long novel: a few hundred bytes a chapter.
constexpr std::size_t kContentsRoom = 1 << 20;

// `html` is the page that `document` was matched in; the book keeps it for its KF8 part.
Book readTextDerived(std::string html, const TextDerivedDocument& document, const std::string& fallbackTitle,
                     Diagnostics& diagnostics) {
    Book book;
    book.metadata.title = collapseAsciiSpaces(document.title);
    if (book.metadata.title.empty()) book.metadata.title = fallbackTitle;
    // The text's own byte-order mark opens the body; in the book it would be a stray character.
    const std::string_view body = platform::withoutUtf8Mark(document.body);
    book.metadata.language = languageOfText(body);
    TextOutline outline = outlineOfTextPage(body);
    FlowBuilder flow;
    flow.reserve(body.size() + body.size() / 8 + kContentsRoom);
    writeTextDerivedBody(body, outline, flow);
    flow.endDocument();
    const std::string contentsTitle = contentsTitleFor(book.metadata.language, outline.chinese);
    flow.finish(book, contentsTitle, diagnostics);
    // The page is cut down to its lines in place, for the KF8 part to keep.
    const auto at = static_cast<std::size_t>(body.data() - html.data());
    html.erase(at + body.size());
    html.erase(0, at);
    book.kf8 =
        textDerivedKf8(std::move(html), std::move(outline), book.metadata.title, contentsTitle, book.metadata.language);
    return book;
}

}  // namespace

Book readHtmlBook(std::string page, const std::string& fallbackTitle, Diagnostics& diagnostics) {
    return readHtmlBook(std::move(page), fallbackTitle, diagnostics, ResourceLoader());
}

Book readHtmlBook(std::string page, const std::string& fallbackTitle, Diagnostics& diagnostics,
                  const ResourceLoader& resources) {
    const std::string_view html = platform::withoutUtf8Mark(page);
    if (const auto textDerived = matchTextDerivedHtml(html))
        return readTextDerived(std::move(page), *textDerived, fallbackTitle, diagnostics);

    Book book;
    book.metadata = readHtmlHead(html);
    if (book.metadata.title.empty()) book.metadata.title = fallbackTitle;
    FlowBuilder flow;
    ImageCollector images(book.images, diagnostics);
    if (resources) images.setFileLoader(resources);
    StandaloneHooks hooks(images, resources, diagnostics);
    reduceHtmlDocument(html, flow, hooks, diagnostics, "the document");
    images.fitAll();
    flow.endDocument();
    const Outline outline = outlineOfHeadings(hooks.headings);
    for (const OutlineEntry& entry : outline.entries())
        flow.addTocEntry(entry.title, {hooks.headings[entry.at].key, kStartKey}, entry.depth);
    flow.finish(book, contentsTitleFor(book.metadata.language, false), diagnostics);
    book.kf8 = htmlKf8(html, outline, images, book.images, resources, diagnostics);
    return book;
}

}  // namespace mobigen
