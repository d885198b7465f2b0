#pragma once

// The model between mobigen's readers (HTML, EPUB) and its MOBI writer.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mobigen {

struct Metadata {
    std::string title;  // UTF-8; never empty once a reader is done
    std::vector<std::string> authors;
    std::string language;  // BCP 47 tag such as "zh" or "en-US", or ""
    std::string publisher;
    std::string date;
    std::string description;
    std::vector<std::string> subjects;
    std::string identifier;
    std::string isbn;
    std::string rights;
    std::vector<std::string> contributors;
};

struct Image {
    std::string data;  // the raw file: JPEG, GIF, PNG or BMP
};

struct TocEntry {
    std::string title;          // UTF-8
    std::uint32_t filepos = 0;  // byte offset in the flow of the target's '<'
    int depth = 0;
};

// Where a KF8 link, TOC entry or guide reference lands: an element id inside one document
// of Kf8Part::documents, or the document's start when `id` is empty.
struct Kf8Target {
    std::size_t document = 0;
    std::string id;
};

struct Kf8TocEntry {
    std::string title;  // UTF-8
    Kf8Target target;
    int depth = 0;  // 0 at the top; a child follows its parent and has depth + 1
};

// Adds an entry to a TOC whose depths never jump by more than one level.
inline void appendKf8TocEntry(std::vector<Kf8TocEntry>& toc, Kf8TocEntry entry) {
    const int deepest = toc.empty() ? 0 : toc.back().depth + 1;
    entry.depth = std::max(0, std::min(entry.depth, deepest));
    toc.push_back(std::move(entry));
}

struct Font {
    std::string data;  // the raw TTF or OTF file, deobfuscated
};

struct PageSize {
    int width = 0;
    int height = 0;
};

// The book as the KF8 part shows it. Filled by the readers, written by kf8/.
// References inside the markup are already final, except internal links:
// - images: src="kindle:embed:NNNN?mime=image/jpeg", N 1-based into Book::images;
// - fonts: url(kindle:embed:NNNN), N = Book::images.size() + 1-based index into `fonts`
//   (the writer stores fonts right after the images);
// - stylesheets and SVG: kindle:flow:NNNN?mime=..., N 1-based into `flows`, linked with
//   double quotes;
// - internal links: the readers write href="#kf8link:DOC:ID" (DOC a decimal index into
//   `documents`, ID an element id there or empty for the document's start); the writer turns
//   each into kindle:pos:fid:XXXX:off:YYYYYYYYYY, since only it knows the fragments.
struct Kf8Part {
    // Each a complete, well-formed XHTML document in UTF-8 (<?xml?>, <html>, <head>, <body>),
    // in reading order. Ids are unique within a document.
    std::vector<std::string> documents;
    std::vector<std::string> flows;      // CSS sheets first, then SVG images; at most 9 in all
    std::vector<std::string> flowTypes;  // "text/css" or "image/svg+xml", one per flow
    std::vector<Font> fonts;
    std::vector<Kf8TocEntry> toc;       // in reading order, nested by depth
    std::optional<Kf8Target> contents;  // guide "toc"
    std::optional<Kf8Target> start;     // guide "text" (EXTH 116)
    std::string writingMode;            // EXTH 525: "horizontal-lr" (when empty), "vertical-rl", ...
    std::string pageProgression;        // EXTH 527: "ltr", "rtl", or empty for none
    // A fixed-layout book (EXTH 122) of pages this size (EXTH 126): each document is one page
    // and carries its own viewport.
    std::optional<PageSize> fixedLayout;

    // Set instead of `documents` by a reader whose documents would double the book in memory
    // (a long text page): it gives them one at a time, and false after the last. The writer
    // asks for them only once the MOBI 6 part is written.
    std::function<bool(std::string& document)> documentSource;
    std::size_t documentSourceSize = 0;  // about the bytes it gives
};

// Takes every document from the part's source into `documents`.
inline void drainDocumentSource(Kf8Part& part) {
    if (!part.documentSource) return;
    for (std::string document; part.documentSource(document);) part.documents.push_back(std::move(document));
    part.documentSource = nullptr;
}

// Everything the writer needs. The flow is the finished MOBI markup in UTF-8: filepos
// values are resolved, images are referenced as recindex (1-based into `images`), and the
// guide in the head points at the contents page and the start.
struct Book {
    Metadata metadata;
    std::string flow;
    std::vector<Image> images;
    std::optional<std::size_t> coverImage;      // index into `images`
    std::optional<std::size_t> thumbnailImage;  // index into `images`: a small JPEG of the cover
    std::vector<TocEntry> toc;
    std::uint32_t startOffset = 0;  // EXTH 116
    Kf8Part kf8;                    // empty documents: no KF8 part can be written
};

// Warnings are collected rather than printed, so the command line decides the exit code.
struct Diagnostics {
    std::vector<std::string> warnings;
    void warn(std::string message) { warnings.push_back(std::move(message)); }
};

// A failure that stops the conversion: bad input, a refused archive. The message is shown
// to the user as is.
struct ConversionError {
    std::string message;
};

}  // namespace mobigen
