#pragma once

// The KF8 text: every document cut into a skeleton and fragments, flow 0 laid out, and any
// target turned into a fragment number and an offset.

#include "mobigen/book.h"
#include "mobigen/kf8/markup.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace mobigen {

constexpr std::size_t kMaxFragmentBytes = 8192;

struct Kf8Fragment {
    std::size_t begin = 0;  // in its prepared document
    std::size_t end = 0;
    std::string parentAid;
};

// Fragments cover the body's content between elements, each at most `limit` bytes unless a
// single element without children is larger; an element too large is cut inside.
std::vector<Kf8Fragment> cutFragments(const PreparedDocument& doc, std::size_t limit = kMaxFragmentBytes);

struct Kf8Position {
    std::uint32_t fragment = 0;   // number in the fragment index
    std::uint32_t offset = 0;     // from that fragment's insert position
    std::uint32_t assembled = 0;  // in the text with every fragment in place
};

struct SkeletonEntry {
    std::uint32_t start = 0;  // in flow 0
    std::uint32_t length = 0;
    std::uint32_t fragmentCount = 0;
};

struct FragmentEntry {
    std::uint32_t insertPosition = 0;
    std::uint32_t file = 0;
    std::uint32_t offsetInFile = 0;  // among its file's fragment bytes, after the skeleton
    std::uint32_t length = 0;
    std::string selector;
};

// Gives the next document (a complete XHTML document) and true, or false after the last.
using DocumentSource = std::function<bool(std::string& document)>;

class Kf8Layout {
public:
    // Throws ConversionError when flow 0 would pass 4 GB. Flow 0 keeps room for `laterFlows`
    // bytes, so joining the other flows to it does not copy it.
    explicit Kf8Layout(std::vector<std::string> documents, std::size_t laterFlows = 0);
    // Documents one at a time, each released once laid out; `sizeHint` is room for flow 0 and
    // the later flows, since growing a book-sized string copies it.
    Kf8Layout(const DocumentSource& source, std::size_t sizeHint);

    // The document's start for an unknown document or id.
    Kf8Position resolve(const Kf8Target& target) const;

    const std::string& flow0() const { return flow0_; }
    // Moves the text out, sparing a copy of the whole book; build the NCX index before.
    std::string takeFlow0() { return std::move(flow0_); }
    const std::vector<SkeletonEntry>& skeletons() const { return skeletons_; }
    const std::vector<FragmentEntry>& fragments() const { return fragments_; }

private:
    struct Document {
        std::size_t start = 0;          // in the assembled text
        std::size_t firstFragment = 0;  // global number
        std::size_t skeletonStart = 0;  // in flow 0
        std::size_t skeletonLength = 0;
        std::vector<Kf8Fragment> fragments;
        std::unordered_map<std::string, std::size_t> ids;
    };
    struct PendingLink {
        std::size_t at = 0;  // of its placeholder in flow 0
        Kf8Target target;
    };
    void lay(const DocumentSource& source, std::size_t sizeHint);
    Kf8Position positionIn(const Document& document, std::size_t at) const;
    void appendDocument(const PreparedDocument& prepared, Document& document);
    std::size_t flow0Position(const Document& document, std::size_t at) const;

    std::vector<Document> documents_;
    std::string flow0_;
    std::vector<SkeletonEntry> skeletons_;
    std::vector<FragmentEntry> fragments_;
    std::size_t totalFragments_ = 1;
};

}  // namespace mobigen
