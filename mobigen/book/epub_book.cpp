#include "mobigen/book/book_readers.h"

#include "mobigen/images/images.h"
#include "mobigen/kf8/epub_kf8.h"
#include "mobigen/mobi6/flow_builder.h"
#include "mobigen/mobi6/html_reducer.h"
#include "mobigen/source/epub_toc.h"
#include "mobigen/source/href.h"
#include "mobigen/source/opf.h"
#include "mobigen/source/zip.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/encoding.h"
#include "platform/utf8.h"

#include <map>
#include <set>

namespace mobigen {
namespace {

constexpr const char* kContainerPath = "META-INF/container.xml";

std::string readRequired(ZipArchive& zip, const std::string& path, const std::string& what) {
    if (!zip.contains(path)) throw ConversionError{"The EPUB file has no " + what + " (" + path + ")."};
    return zip.read(path);
}

std::string documentText(std::string bytes, Diagnostics& diagnostics) {
    if (platform::isValidUtf8(bytes)) return std::string(platform::withoutUtf8Mark(bytes));
    return decodeHtmlToUtf8(bytes, diagnostics);
}

bool isSvgName(const std::string& path) { return path.size() >= 4 && startsWithNoCase(path, path.size() - 4, ".svg"); }

class EpubHooks : public ReducerHooks {
public:
    EpubHooks(ZipArchive& zip, ImageCollector& images, const std::set<std::string>& documents, std::string language,
              Diagnostics& diagnostics)
        : zip_(zip),
          images_(images),
          documents_(documents),
          language_(std::move(language)),
          diagnostics_(diagnostics) {}

    void setDocument(const std::string& path) {
        path_ = path;
        folder_ = folderOf(path);
    }

    std::size_t imageRecord(std::string_view src) override {
        if (hasUriScheme(src)) return 0;
        const auto path = resolvePath(folder_, splitHref(src).path);
        return path ? recordImage(*path) : 0;
    }

    // An SVG file that only wraps a picture stands for that picture.
    std::size_t thumbnail(std::size_t coverRecord) { return images_.thumbnail(coverRecord); }

    std::size_t recordImage(const std::string& path, int svgMinHeight = 0) {
        // A drawing is inflated once, though it is both looked into and recorded: plates of
        // half a megabyte are common.
        std::optional<std::string> svg;
        if (const auto wrapped = pictureWrappedBy(path, svg)) return recordImage(*wrapped);
        return images_.record(
            path,
            [&]() -> std::optional<std::string> {
                if (svg) return std::move(svg);
                if (!zip_.contains(path)) return std::nullopt;
                return zip_.read(path);
            },
            svgMinHeight);
    }

    std::size_t inlineSvgRecord(std::string_view svg) override {
        const std::string key = path_ + "#svg-" + std::to_string(++inlineSvgs_);
        return images_.record(key, [&] { return std::optional<std::string>(svg); });
    }

    std::string stylesheet(std::string_view href) override {
        const auto path = resolvePath(folder_, splitHref(href).path);
        if (hasUriScheme(href) || !path || !zip_.contains(*path)) return {};
        return zip_.read(*path);
    }

    std::string language() override { return language_; }

    LinkResolution resolveLink(std::string_view href) override {
        if (isFollowableExternalHref(href)) return {LinkResolution::Kind::External, std::string(href), {}};
        if (hasUriScheme(href)) return {};
        const HrefParts parts = splitHref(href);
        const auto path = parts.path.empty() ? std::optional<std::string>(path_) : resolvePath(folder_, parts.path);
        if (!path || documents_.count(*path) == 0) {
            if (++unknownTargets_ == 1)
                diagnostics_.warn("A link to " + std::string(href) + " in " + path_ +
                                  " leads outside the book and was removed.");
            return {};
        }
        const std::string key = parts.fragment.empty() ? *path : *path + "#" + parts.fragment;
        return {LinkResolution::Kind::Internal, {}, {key, *path}};
    }

    std::string anchorKey(std::string_view id) override { return path_ + "#" + std::string(id); }

private:
    // Fills `svg` with the file when it had to be read.
    std::optional<std::string> pictureWrappedBy(const std::string& path, std::optional<std::string>& svg) {
        if (!isSvgName(path) || !zip_.contains(path)) return std::nullopt;
        const auto known = wrappers_.find(path);
        if (known != wrappers_.end()) return known->second;
        svg = zip_.read(path);
        return wrappers_[path] = wrappedPicture(path, *svg);
    }

    static std::optional<std::string> wrappedPicture(const std::string& path, const std::string& svg) {
        const auto href = wrappedPictureHref(svg);
        if (!href || hasUriScheme(*href)) return std::nullopt;
        const auto wrapped = resolvePath(folderOf(path), splitHref(*href).path);
        if (wrapped && isSvgName(*wrapped)) return std::nullopt;  // one step only
        return wrapped;
    }

    ZipArchive& zip_;
    ImageCollector& images_;
    const std::set<std::string>& documents_;
    std::string language_;
    Diagnostics& diagnostics_;
    std::string path_;
    std::string folder_;
    int unknownTargets_ = 0;
    int inlineSvgs_ = 0;
    std::map<std::string, std::optional<std::string>> wrappers_;
};

enum class PageKind { Html, Picture, Svg, Other };

PageKind pageKindOf(const ManifestItem& item) {
    const std::string& type = item.mediaType;
    if (type == "application/xhtml+xml" || type == "text/html" || type == "application/x-dtbook+xml" || type.empty())
        return PageKind::Html;
    if (type == "image/jpeg" || type == "image/png" || type == "image/gif" || type == "image/bmp")
        return PageKind::Picture;
    return type == "image/svg+xml" ? PageKind::Svg : PageKind::Other;
}

struct Page {
    std::string path;
    PageKind kind;
};

std::vector<Page> spinePages(const Package& package, ZipArchive& zip, Diagnostics& diagnostics) {
    std::vector<Page> pages;
    std::set<std::string> seen;
    for (const SpineItem& s : package.spine) {
        const ManifestItem* item = package.item(s.idref);
        if (item == nullptr) {
            diagnostics.warn("The reading order names \"" + s.idref +
                             "\", which the manifest does not list; it was skipped.");
        } else if (pageKindOf(*item) == PageKind::Other) {
            diagnostics.warn("The reading order names " + item->path + " (" + item->mediaType +
                             "), which is neither a text document nor a picture; it was skipped.");
        } else if (!zip.contains(item->path)) {
            diagnostics.warn("The book has no file " + item->path + ", named in its reading order; it was skipped.");
        } else if (seen.insert(item->path).second) {
            pages.push_back({item->path, pageKindOf(*item)});
        }
    }
    if (pages.empty()) throw ConversionError{"The EPUB file has no readable documents in its reading order."};
    return pages;
}

// Counts the SVG pages the MOBI 6 part could not show, for one warning.
struct SvgPages {
    int leftOut = 0;

    void report(Diagnostics& diagnostics) const {
        if (leftOut == 0) return;
        diagnostics.warn("SVG pages in the reading order: " + std::to_string(leftOut) +
                         " left out of the MOBI 6 part with nothing to show.");
    }
};

// The reading order's documents, decoded once for both parts.
using DecodedDocuments = std::map<std::string, std::string>;

// Appends one reading-order item; false when it has nothing to show.
bool appendPage(const Page& page, ZipArchive& zip, EpubHooks& hooks, FlowBuilder& flow, SvgPages& svgPages,
                DecodedDocuments& decoded, Diagnostics& diagnostics) {
    if (page.kind == PageKind::Picture) {
        const std::size_t record = hooks.recordImage(page.path);
        if (record != 0) appendImagePage(record, flow);
        return record != 0;
    }
    if (page.kind == PageKind::Svg) {
        const std::string& text = decoded[page.path] = documentText(zip.read(page.path), diagnostics);
        const std::size_t rendering = svgDrawsShapes(text) ? hooks.recordImage(page.path) : 0;
        const bool shown = reduceSvgDocument(text, rendering, flow, hooks);
        if (!shown) ++svgPages.leftOut;
        return shown;
    }
    const std::string& text = decoded[page.path] = documentText(zip.read(page.path), diagnostics);
    reduceHtmlDocument(text, flow, hooks, diagnostics, page.path);
    return true;
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
        diagnostics.warn(std::to_string(outside) +
                         " table of contents entries point outside the reading order and were left out.");
    }
}

// A reader shows the cover as a page and as a thumbnail: an SVG one is drawn at least this high.
constexpr int kCoverMinHeight = 500;

void readCover(const Package& package, EpubHooks& hooks, Book& book) {
    const ManifestItem* cover = package.item(package.coverImageId);
    if (cover == nullptr) return;
    const std::size_t record = hooks.recordImage(cover->path, kCoverMinHeight);
    if (record == 0) return;
    book.coverImage = record - 1;
    book.thumbnailImage = hooks.thumbnail(record) - 1;
}

}  // namespace

Book readEpubBook(std::string_view bytes, const std::string& fallbackTitle, Diagnostics& diagnostics) {
    ZipArchive zip(bytes);
    const std::string opfPath = packagePathFromContainer(readRequired(zip, kContainerPath, "container file"));
    const Package package =
        parsePackage(readRequired(zip, opfPath, "package file named by its container"), opfPath, diagnostics);

    Book book;
    book.metadata = package.metadata;
    if (book.metadata.title.empty()) book.metadata.title = fallbackTitle;
    ImageCollector images(book.images, diagnostics);
    images.setFileLoader([&zip](const std::string& path) -> std::optional<std::string> {
        if (!zip.contains(path)) return std::nullopt;
        return zip.read(path);
    });

    const std::vector<Page> pages = spinePages(package, zip, diagnostics);
    std::set<std::string> documentSet;
    for (const Page& page : pages) documentSet.insert(page.path);
    FlowBuilder flow;
    const std::vector<EpubTocEntry> toc = readEpubToc(package, zip, diagnostics);
    addEpubToc(toc, documentSet, flow, diagnostics);
    const std::string& startPath = package.startPath;

    EpubHooks hooks(zip, images, documentSet, book.metadata.language, diagnostics);
    readCover(package, hooks, book);
    SvgPages svgPages;
    DecodedDocuments decoded;
    bool anythingShown = false;
    for (const Page& page : pages) {
        if (page.path == startPath) flow.mark(kStartKey);
        flow.mark(page.path);
        hooks.setDocument(page.path);
        anythingShown = appendPage(page, zip, hooks, flow, svgPages, decoded, diagnostics) || anythingShown;
        flow.endDocument();
    }
    svgPages.report(diagnostics);
    images.fitAll();
    if (!anythingShown)
        throw ConversionError{"The EPUB file has nothing to show: its reading order holds no text or pictures."};
    flow.finish(book, contentsTitleFor(book.metadata.language, false), diagnostics);
    // Each text is handed over once and released; decoding problems were reported already.
    const DocumentReader readAgain = [&zip, &decoded](const std::string& path) {
        const auto found = decoded.find(path);
        if (found != decoded.end()) {
            std::string text = std::move(found->second);
            decoded.erase(found);
            return text;
        }
        Diagnostics reported;
        return documentText(zip.read(path), reported);
    };
    book.kf8 = readEpubKf8(package, zip, images, book.images, toc, readAgain, diagnostics);
    return book;
}

}  // namespace mobigen
