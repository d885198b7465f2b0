#include "mobigen/kf8/epub_kf8.h"

#include "mobigen/kf8/fixed_layout.h"
#include "mobigen/kf8/kf8_book.h"
#include "mobigen/kf8/xhtml_writer.h"
#include "mobigen/markup/css.h"
#include "mobigen/source/font_obfuscation.h"
#include "mobigen/source/href.h"

#include <map>
#include <set>

namespace mobigen {
namespace {

constexpr const char* kEncryptionPath = "META-INF/encryption.xml";

enum class PageKind { Document, Picture };

struct Page {
    std::string path;
    PageKind kind = PageKind::Document;
    XhtmlImage picture;
};

bool isMarkup(const std::string& mediaType) {
    return mediaType == "application/xhtml+xml" || mediaType == "text/html" ||
           mediaType == "application/x-dtbook+xml" || mediaType.empty();
}

// The spine as KF8 shows it: documents, and pictures (bitmaps, SVG) as pages of their own.
std::vector<Page> kf8Pages(const Package& package, ZipArchive& zip, Kf8Collector& kf8) {
    std::vector<Page> pages;
    std::set<std::string> seen;
    for (const SpineItem& s : package.spine) {
        const ManifestItem* item = package.item(s.idref);
        if (item == nullptr || !zip.contains(item->path) || !seen.insert(item->path).second) continue;
        if (isMarkup(item->mediaType)) {
            pages.push_back({item->path, PageKind::Document, {}});
        } else if (item->mediaType.compare(0, 6, "image/") == 0) {
            if (auto picture = kf8.image(item->path, true)) pages.push_back({item->path, PageKind::Picture, *picture});
        }
    }
    return pages;
}

class EpubKf8Hooks : public XhtmlHooks {
public:
    EpubKf8Hooks(Kf8Collector& kf8, const std::map<std::string, std::size_t>& documents, PageViewports* viewports,
                 Diagnostics& diagnostics)
        : kf8_(kf8), documents_(documents), viewports_(viewports), diagnostics_(diagnostics) {}

    void setDocument(const std::string& path) {
        path_ = path;
        folder_ = folderOf(path);
    }

    std::optional<XhtmlImage> image(std::string_view src) override {
        const auto path = resolve(src);
        return path ? kf8_.image(*path, true) : std::nullopt;
    }

    std::optional<std::string> link(std::string_view href) override {
        if (isFollowableExternalHref(href)) return std::string(href);
        if (hasUriScheme(href)) return std::nullopt;
        const HrefParts parts = splitHref(href);
        const auto path = parts.path.empty() ? std::optional<std::string>(path_) : resolvePath(folder_, parts.path);
        const auto document = path ? documents_.find(*path) : documents_.end();
        if (document == documents_.end()) return std::nullopt;
        return kf8Link(document->second, parts.fragment);
    }

    std::optional<std::string> stylesheet(std::string_view href) override {
        const auto path = resolve(href);
        return path ? kf8_.stylesheet(*path) : std::nullopt;
    }

    std::string style(std::string_view css, bool attribute, bool onRoot) override {
        return kf8_.style(css, folder_, attribute, onRoot);
    }

    std::string viewport(std::string_view declared) override {
        return viewports_ ? viewports_->forPage(declared, diagnostics_) : std::string();
    }

private:
    std::optional<std::string> resolve(std::string_view href) const {
        if (hasUriScheme(href)) return std::nullopt;
        return resolvePath(folder_, splitHref(href).path);
    }

    Kf8Collector& kf8_;
    const std::map<std::string, std::size_t>& documents_;
    PageViewports* viewports_;  // null for a reflowable book
    Diagnostics& diagnostics_;
    std::string path_;
    std::string folder_;
};

std::map<std::string, std::string> encryptedFonts(ZipArchive& zip, Diagnostics& diagnostics) {
    if (!zip.contains(kEncryptionPath)) return {};
    try {
        return readEncryptedPaths(zip.read(kEncryptionPath));
    } catch (const ConversionError& error) {
        diagnostics.warn(error.message + " Obfuscated fonts cannot be used.");
        return {};
    }
}

std::string pictureBody(const XhtmlImage& picture) {
    if (!picture.inlineSvg.empty()) return "<div>" + picture.inlineSvg + "</div>";
    std::string body = "<div style=\"text-align: center\"><img src=\"";
    appendXmlEscaped(body, picture.src, true, true);
    return body + "\" alt=\"\" style=\"max-width: 100%; max-height: 100%\"/></div>";
}

std::optional<Kf8Target> targetOf(const std::string& path, const std::map<std::string, std::size_t>& documents) {
    const auto found = documents.find(path);
    if (path.empty() || found == documents.end()) return std::nullopt;
    return Kf8Target{found->second, {}};
}

bool isWritingMode(const std::string& mode) {
    return mode == "horizontal-lr" || mode == "horizontal-rl" || mode == "vertical-lr" || mode == "vertical-rl";
}

// The book's writing mode and page direction, and the rule its CSS lacks for a mode the
// package alone asks for.
std::string applyWritingMode(const Package& package, const std::string& sheetMode, Kf8Part& part) {
    std::string extraCss;
    part.writingMode = isWritingMode(package.primaryWritingMode) ? package.primaryWritingMode : sheetMode;
    if (part.writingMode.compare(0, 8, "vertical") == 0 && sheetMode != part.writingMode)
        extraCss = verticalWritingRule(part.writingMode);
    if (package.pageProgression == "rtl" || package.pageProgression == "ltr") {
        part.pageProgression = package.pageProgression;
    } else if (part.writingMode == "vertical-rl") {
        part.pageProgression = "rtl";
    }
    return extraCss;
}

// calibre's writer gives a right-to-left book without a writing mode horizontal-rl, as Kindles
// are said to ignore the page direction otherwise; a comic depends on it.
void markFixedLayout(PageSize size, Kf8Part& part) {
    part.fixedLayout = size;
    if (part.pageProgression == "rtl" && part.writingMode.empty()) part.writingMode = "horizontal-rl";
}

}  // namespace

Kf8Part readEpubKf8(const Package& package, ZipArchive& zip, ImageCollector& collector, std::vector<Image>& images,
                    const std::vector<EpubTocEntry>& toc, const DocumentReader& readDocument,
                    Diagnostics& diagnostics) {
    Kf8Collector kf8(
        images, collector,
        [&zip](const std::string& path) -> std::optional<std::string> {
            if (!zip.contains(path)) return std::nullopt;
            return zip.read(path);
        },
        diagnostics);
    const auto encrypted = encryptedFonts(zip, diagnostics);
    kf8.setFontDecoder([&](const std::string& path, std::string data) -> std::optional<std::string> {
        const auto found = encrypted.find(path);
        if (found == encrypted.end()) return data;
        return deobfuscateFont(std::move(data), found->second, package.metadata.identifier);
    });

    const std::vector<Page> pages = kf8Pages(package, zip, kf8);
    std::map<std::string, std::size_t> documents;
    for (std::size_t i = 0; i < pages.size(); ++i) documents.emplace(pages[i].path, i);
    std::optional<PageViewports> viewports;
    if (isFixedLayout(package)) viewports.emplace(parsePageSize(package.pageSize));
    EpubKf8Hooks hooks(kf8, documents, viewports ? &*viewports : nullptr, diagnostics);
    for (const Page& page : pages) {
        if (page.kind == PageKind::Picture) {
            const std::string head = viewports ? viewportElement(hooks.viewport({})) : std::string();
            kf8.addDocument(xhtmlDocument(package.metadata.title, head, {}, pictureBody(page.picture), {}));
            continue;
        }
        hooks.setDocument(page.path);
        kf8.addDocument(writeXhtmlDocument(readDocument(page.path), hooks, false).document);
    }

    Kf8Part part;
    const std::string extraCss = applyWritingMode(package, kf8.sheetWritingMode(), part);
    Kf8Part written = kf8.finish(extraCss);
    written.writingMode = part.writingMode;
    written.pageProgression = part.pageProgression;
    if (viewports) markFixedLayout(viewports->bookSize(), written);
    for (const EpubTocEntry& e : toc) {
        if (const auto target = targetOf(e.path, documents))
            appendKf8TocEntry(written.toc,
                              {e.title, {target->document, e.fragment.empty() ? "" : xmlId(e.fragment)}, e.depth});
    }
    written.contents = targetOf(package.contentsPath.empty() ? package.navPath : package.contentsPath, documents);
    written.start = targetOf(package.startPath, documents);
    pointMissingTargetsAtTheirDocument(written);
    return written;
}

}  // namespace mobigen
