#include "mobigen/reader.h"

#include "mobigen/chapters.h"
#include "mobigen/encoding.h"
#include "mobigen/epub_toc.h"
#include "mobigen/flow_builder.h"
#include "mobigen/href.h"
#include "mobigen/html_reducer.h"
#include "mobigen/html_tokenizer.h"
#include "mobigen/images.h"
#include "mobigen/opf.h"
#include "mobigen/utf8_codec.h"
#include "mobigen/zip.h"

#include <set>

namespace mobigen {
namespace {

constexpr const char* kContainerPath = "META-INF/container.xml";

std::string_view withoutUtf8Mark(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

std::string collapseSpaces(std::string_view text) {
    std::string out;
    bool pending = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pending = !out.empty();
            continue;
        }
        if (pending) out += ' ';
        pending = false;
        out += c;
    }
    return out;
}

std::string contentsTitleFor(const std::string& language, bool chineseHeadings) {
    const bool chinese = chineseHeadings || language.compare(0, 2, "zh") == 0;
    return chinese ? "\xE7\x9B\xAE\xE5\xBD\x95" : "Contents";  // 目录
}

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
            metadata.title = collapseSpaces(token.text);
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

    LinkResolution resolveLink(std::string_view href) override {
        if (isFollowableExternalHref(href)) return {LinkResolution::Kind::External, std::string(href), {}};
        if (href.empty() || href[0] != '#') {
            if (!hasUriScheme(href) && ++otherFiles_ == 1) {
                diagnostics_.warn("Links to other files (such as " + std::string(href) + ") were removed: only this document goes into the book.");
            }
            return {};
        }
        return {LinkResolution::Kind::Internal, {}, {anchorKey(percentDecode(href.substr(1))), kStartKey}};
    }

    std::string anchorKey(std::string_view id) override { return "#" + std::string(id); }

    void heading(int level, const std::string& text, const std::string& key) override {
        headings.push_back({collapseSpaces(text), key, level});
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
};

void addHeadingToc(const std::vector<StandaloneHooks::Heading>& headings, FlowBuilder& flow) {
    if (headings.size() < 2) return;
    int top = 3;
    for (const auto& h : headings) top = std::min(top, h.level);
    for (const auto& h : headings) {
        if (!h.title.empty()) flow.addTocEntry(h.title, {h.key, kStartKey}, h.level - top);
    }
}

Book readTextDerived(const TextDerivedDocument& document, const std::string& fallbackTitle, Diagnostics& diagnostics) {
    Book book;
    book.metadata.title = collapseSpaces(document.title);
    if (book.metadata.title.empty()) book.metadata.title = fallbackTitle;
    FlowBuilder flow;
    const bool chinese = writeTextDerivedBody(document.body, flow);
    flow.endDocument();
    flow.finish(book, contentsTitleFor("", chinese), diagnostics);
    return book;
}

// ---- EPUB ----

std::string readRequired(ZipArchive& zip, const std::string& path, const std::string& what) {
    if (!zip.contains(path)) throw ConversionError{"The EPUB file has no " + what + " (" + path + ")."};
    return zip.read(path);
}

std::string documentText(std::string bytes, Diagnostics& diagnostics) {
    if (isValidUtf8(bytes)) return std::string(withoutUtf8Mark(bytes));
    return decodeHtmlToUtf8(bytes, diagnostics);
}

class EpubHooks : public ReducerHooks {
public:
    EpubHooks(ZipArchive& zip, ImageCollector& images, const std::set<std::string>& documents, Diagnostics& diagnostics)
        : zip_(zip), images_(images), documents_(documents), diagnostics_(diagnostics) {}

    void setDocument(const std::string& path) {
        path_ = path;
        folder_ = folderOf(path);
    }

    std::size_t imageRecord(std::string_view src) override {
        if (hasUriScheme(src)) return 0;
        const auto path = resolvePath(folder_, splitHref(src).path);
        if (!path) return 0;
        return images_.record(*path, [&]() -> std::optional<std::string> {
            if (!zip_.contains(*path)) return std::nullopt;
            return zip_.read(*path);
        });
    }

    LinkResolution resolveLink(std::string_view href) override {
        if (isFollowableExternalHref(href)) return {LinkResolution::Kind::External, std::string(href), {}};
        if (hasUriScheme(href)) return {};
        const HrefParts parts = splitHref(href);
        const auto path = parts.path.empty() ? std::optional<std::string>(path_) : resolvePath(folder_, parts.path);
        if (!path || documents_.count(*path) == 0) {
            if (++unknownTargets_ == 1) diagnostics_.warn("A link to " + std::string(href) + " in " + path_ + " leads outside the book and was removed.");
            return {};
        }
        const std::string key = parts.fragment.empty() ? *path : *path + "#" + parts.fragment;
        return {LinkResolution::Kind::Internal, {}, {key, *path}};
    }

    std::string anchorKey(std::string_view id) override { return path_ + "#" + std::string(id); }

private:
    ZipArchive& zip_;
    ImageCollector& images_;
    const std::set<std::string>& documents_;
    Diagnostics& diagnostics_;
    std::string path_;
    std::string folder_;
    int unknownTargets_ = 0;
};

bool isContentDocument(const ManifestItem& item) {
    return item.mediaType == "application/xhtml+xml" || item.mediaType == "text/html" ||
           item.mediaType == "application/x-dtbook+xml" || item.mediaType.empty();
}

std::vector<std::string> spineDocuments(const Package& package, ZipArchive& zip, Diagnostics& diagnostics) {
    std::vector<std::string> paths;
    std::set<std::string> seen;
    for (const SpineItem& s : package.spine) {
        const ManifestItem* item = package.item(s.idref);
        if (item == nullptr) {
            diagnostics.warn("The reading order names \"" + s.idref + "\", which the manifest does not list; it was skipped.");
        } else if (!isContentDocument(*item)) {
            diagnostics.warn("The reading order names " + item->path + " (" + item->mediaType + "), which is not a text document; it was skipped.");
        } else if (!zip.contains(item->path)) {
            diagnostics.warn("The book has no file " + item->path + ", named in its reading order; it was skipped.");
        } else if (seen.insert(item->path).second) {
            paths.push_back(item->path);
        }
    }
    if (paths.empty()) throw ConversionError{"The EPUB file has no readable text documents in its reading order."};
    return paths;
}

std::vector<EpubTocEntry> readEpubToc(const Package& package, ZipArchive& zip, Diagnostics& diagnostics) {
    std::vector<EpubTocEntry> entries;
    const ManifestItem* ncx = package.item(package.ncxId);
    try {
        if (ncx != nullptr && zip.contains(ncx->path))
            entries = readNcxToc(documentText(zip.read(ncx->path), diagnostics), ncx->path);
        if (entries.empty() && !package.navPath.empty() && zip.contains(package.navPath)) {
            entries = readNavToc(documentText(zip.read(package.navPath), diagnostics), package.navPath);
        }
    } catch (const ConversionError& error) {
        diagnostics.warn(error.message + " The book has no table of contents.");
        entries.clear();
    }
    return entries;
}

void addEpubToc(const std::vector<EpubTocEntry>& entries, const std::set<std::string>& documents, FlowBuilder& flow,
                Diagnostics& diagnostics) {
    int outside = 0;
    for (const auto& e : entries) {
        if (documents.count(e.path) == 0) {
            ++outside;
            continue;
        }
        const std::string key = e.fragment.empty() ? e.path : e.path + "#" + e.fragment;
        flow.addTocEntry(e.title, {key, e.path}, e.depth);
    }
    if (outside > 0) {
        diagnostics.warn(std::to_string(outside) + " table of contents entries point outside the reading order and were left out.");
    }
}

void readCover(const Package& package, ZipArchive& zip, ImageCollector& images, Book& book) {
    const ManifestItem* cover = package.item(package.coverImageId);
    if (cover == nullptr) return;
    const std::size_t record = images.record(cover->path, [&]() -> std::optional<std::string> {
        if (!zip.contains(cover->path)) return std::nullopt;
        return zip.read(cover->path);
    });
    if (record != 0) book.coverImage = record - 1;
}

}  // namespace

Book readHtmlBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics) {
    return readHtmlBook(bytes, fallbackTitle, diagnostics, ResourceLoader());
}

Book readHtmlBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics,
                  const ResourceLoader& resources) {
    const std::string_view html = withoutUtf8Mark(bytes);
    if (const auto textDerived = matchTextDerivedHtml(html)) return readTextDerived(*textDerived, fallbackTitle, diagnostics);

    Book book;
    book.metadata = readHtmlHead(html);
    if (book.metadata.title.empty()) book.metadata.title = fallbackTitle;
    FlowBuilder flow;
    ImageCollector images(book.images, diagnostics);
    StandaloneHooks hooks(images, resources, diagnostics);
    reduceHtmlDocument(html, flow, hooks, diagnostics, "the document");
    flow.endDocument();
    addHeadingToc(hooks.headings, flow);
    flow.finish(book, contentsTitleFor(book.metadata.language, false), diagnostics);
    return book;
}

Book readEpubBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics) {
    ZipArchive zip(bytes);
    const std::string opfPath = packagePathFromContainer(readRequired(zip, kContainerPath, "container file"));
    const Package package = parsePackage(readRequired(zip, opfPath, "package file named by its container"), opfPath, diagnostics);

    Book book;
    book.metadata = package.metadata;
    if (book.metadata.title.empty()) book.metadata.title = fallbackTitle;
    ImageCollector images(book.images, diagnostics);
    readCover(package, zip, images, book);

    const std::vector<std::string> documents = spineDocuments(package, zip, diagnostics);
    const std::set<std::string> documentSet(documents.begin(), documents.end());
    FlowBuilder flow;
    addEpubToc(readEpubToc(package, zip, diagnostics), documentSet, flow, diagnostics);
    const std::string& startPath = package.startPath;

    EpubHooks hooks(zip, images, documentSet, diagnostics);
    for (const std::string& path : documents) {
        if (path == startPath) flow.mark(kStartKey);
        flow.mark(path);
        hooks.setDocument(path);
        reduceHtmlDocument(documentText(zip.read(path), diagnostics), flow, hooks, diagnostics, path);
        flow.endDocument();
    }
    flow.finish(book, contentsTitleFor(book.metadata.language, false), diagnostics);
    return book;
}

}  // namespace mobigen
