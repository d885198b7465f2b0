#pragma once

#include "mobigen/book.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// Where a link points: a named place in the flow, with a second name to fall back on (the
// start of the target's document) when the first was never marked.
struct FlowTarget {
    std::string key;
    std::string fallbackKey;
};

// Collects the body of the flow, the named places in it and the links to them. finish()
// puts the head with its guide and the contents page in front and writes every filepos,
// which is why links are written as fixed-width placeholders.
class FlowBuilder {
public:
    void append(std::string_view markup) { body_.append(markup); }
    std::string& body() { return body_; }
    std::size_t size() const { return body_.size(); }
    // Room for the whole flow, contents page included, so that finishing does not copy it.
    void reserve(std::size_t bytes) { body_.reserve(bytes); }

    // Names the current position; the first mark of a name wins.
    void mark(const std::string& key);
    bool isMarked(const std::string& key) const { return marks_.count(key) != 0; }

    // Writes "filepos=NNNNNNNNNN" that will point at the target.
    void appendFilepos(FlowTarget target);

    void addTocEntry(std::string title, FlowTarget target, int depth);
    bool hasToc() const { return !toc_.empty(); }

    // The page break that ends each document.
    void endDocument() { body_ += "<mbp:pagebreak/>"; }

    // Fills book.flow, book.toc and book.startOffset. The contents page (when there are TOC
    // entries) is headed `contentsTitle`. Unresolved targets are reported and point at the
    // start. The builder is empty afterwards.
    void finish(Book& book, const std::string& contentsTitle, Diagnostics& diagnostics);

private:
    struct Link {
        std::size_t at;  // offset of the digits; in body_ or in the prefix
        bool inPrefix;
        FlowTarget target;
    };
    struct PendingEntry {
        std::string title;
        FlowTarget target;
        int depth;
    };

    std::string buildPrefix(const std::string& contentsTitle, std::vector<Link>& prefixLinks) const;
    std::uint32_t resolve(const FlowTarget& target, std::size_t shift, Diagnostics& diagnostics) const;

    std::string body_;
    std::map<std::string, std::size_t> marks_;
    std::vector<Link> links_;
    std::vector<PendingEntry> toc_;
};

// The contents page's heading in the book's language: 目次 for Japanese, 目录 or 目錄 for
// Chinese (or for Chinese chapter headings in a book of no other language), else Contents.
std::string contentsTitleFor(const std::string& language, bool chineseHeadings);

// The keys of the two places the guide names.
inline constexpr const char* kContentsKey = "\x01contents";
inline constexpr const char* kStartKey = "\x01start";

}  // namespace mobigen
