#include "mobigen/kf8/layout.h"

#include <algorithm>

namespace mobigen {
namespace {

class FragmentCutter {
public:
    FragmentCutter(const PreparedDocument& doc, std::size_t limit) : doc_(doc), limit_(limit) {}

    std::vector<Kf8Fragment> run() {
        if (doc_.body == kNoElement) {
            if (!doc_.text.empty()) fragments_.push_back({0, doc_.text.size(), std::string()});
        } else {
            cutInside(element(doc_.body));
        }
        return std::move(fragments_);
    }

private:
    const Kf8Element& element(int index) const { return doc_.elements[static_cast<std::size_t>(index)]; }

    // An element too large for one fragment keeps its tags in the skeleton when it can be
    // named (an aid) and has children to cut between.
    bool cutsInside(const Kf8Element& child) const {
        return child.end - child.start > limit_ && !child.aid.empty() && !child.children.empty();
    }

    void cutInside(const Kf8Element& parent) {
        std::size_t pending = parent.contentStart;
        std::size_t runStart = pending;
        for (int index : parent.children) {
            const Kf8Element& child = element(index);
            if (!cutsInside(child)) {
                addPiece(runStart, pending, child.end, parent.aid);
                continue;
            }
            flush(runStart, child.start, parent.aid);
            cutInside(child);
            runStart = pending = child.end;
        }
        addPiece(runStart, pending, parent.contentEnd, parent.aid);
        flush(runStart, parent.contentEnd, parent.aid);
        runStart = parent.contentEnd;
    }

    // Extends the run [runStart, pending) to `end`, closing it first when it would grow past the limit.
    void addPiece(std::size_t& runStart, std::size_t& pending, std::size_t end, const std::string& aid) {
        if (end - runStart > limit_ && pending > runStart) {
            flush(runStart, pending, aid);
            runStart = pending;
        }
        pending = end;
    }

    void flush(std::size_t& runStart, std::size_t end, const std::string& aid) {
        if (end > runStart) fragments_.push_back({runStart, end, aid});
        runStart = end;
    }

    const PreparedDocument& doc_;
    std::size_t limit_;
    std::vector<Kf8Fragment> fragments_;
};

std::uint32_t u32(std::size_t value) { return static_cast<std::uint32_t>(value); }

}  // namespace

std::vector<Kf8Fragment> cutFragments(const PreparedDocument& doc, std::size_t limit) {
    return FragmentCutter(doc, limit).run();
}

Kf8Layout::Kf8Layout(std::vector<std::string> documents, std::size_t laterFlows) {
    std::size_t total = laterFlows;
    for (const std::string& document : documents) total += document.size();
    std::size_t next = 0;
    lay(
        [&](std::string& document) {
            if (next == documents.size()) return false;
            document = std::move(documents[next++]);
            return true;
        },
        total + total / 4);
}

Kf8Layout::Kf8Layout(const DocumentSource& source, std::size_t sizeHint) { lay(source, sizeHint); }

// Each document is laid out as soon as it arrives and then let go, so the book's text is held
// about once; links are patched at the end, when every target is known.
void Kf8Layout::lay(const DocumentSource& source, std::size_t sizeHint) {
    flow0_.reserve(sizeHint);
    std::vector<PendingLink> links;
    std::size_t nextAid = 0;
    std::size_t assembled = 0;  // the documents' text with every fragment in place
    std::size_t fragmentCount = 0;
    for (std::string text; source(text);) {
        PreparedDocument prepared = prepareDocument(text, nextAid);
        std::string().swap(text);
        Document document;
        document.start = assembled;
        document.firstFragment = fragmentCount;
        document.fragments = cutFragments(prepared);
        appendDocument(prepared, document);
        for (const Kf8Link& link : prepared.links) links.push_back({flow0Position(document, link.at), link.target});
        document.ids = std::move(prepared.ids);
        assembled += prepared.text.size();
        if (assembled > 0xFFFFFFF0u) throw ConversionError{"The book's text is larger than 4 GB."};
        fragmentCount += document.fragments.size();
        documents_.push_back(std::move(document));
    }
    totalFragments_ = std::max<std::size_t>(fragmentCount, 1);
    for (const PendingLink& link : links) {
        const Kf8Position target = resolve(link.target);
        const std::string digits = "kindle:pos:fid:" + base32(target.fragment, 4) + ":off:" + base32(target.offset, 10);
        flow0_.replace(link.at, digits.size(), digits);
    }
}

// The skeleton is the document without its fragments; the fragments follow it in order.
void Kf8Layout::appendDocument(const PreparedDocument& prepared, Document& document) {
    document.skeletonStart = flow0_.size();
    std::size_t from = 0;
    for (const Kf8Fragment& fragment : document.fragments) {
        flow0_.append(prepared.text, from, fragment.begin - from);
        from = fragment.end;
    }
    flow0_.append(prepared.text, from, std::string::npos);
    document.skeletonLength = flow0_.size() - document.skeletonStart;
    skeletons_.push_back({u32(document.skeletonStart), u32(document.skeletonLength), u32(document.fragments.size())});

    std::size_t offsetInFile = 0;
    for (const Kf8Fragment& fragment : document.fragments) {
        const std::size_t length = fragment.end - fragment.begin;
        flow0_.append(prepared.text, fragment.begin, length);
        fragments_.push_back({u32(document.start + fragment.begin), u32(skeletons_.size() - 1), u32(offsetInFile),
                              u32(length), "P-//*[@aid='" + fragment.parentAid + "']"});
        offsetInFile += length;
    }
}

// Where a position of the prepared document landed in flow 0: in its fragment, or in the
// skeleton with every fragment before it taken out.
std::size_t Kf8Layout::flow0Position(const Document& document, std::size_t at) const {
    std::size_t before = 0;  // fragment bytes before `at`
    for (const Kf8Fragment& fragment : document.fragments) {
        if (at < fragment.begin) break;
        if (at < fragment.end) return document.skeletonStart + document.skeletonLength + before + at - fragment.begin;
        before += fragment.end - fragment.begin;
    }
    return document.skeletonStart + at - before;
}

// Counted from the last fragment that starts before `at`: libmobi drops the anchor of an
// offset of 0, and both readers add the offset to that fragment's insert position in the
// assembled text, so it may run past the fragment into the skeleton.
Kf8Position Kf8Layout::positionIn(const Document& document, std::size_t at) const {
    const auto& fragments = document.fragments;
    if (fragments.empty()) return {u32(std::min(document.firstFragment, totalFragments_ - 1)), 0, u32(document.start)};
    auto found = std::upper_bound(fragments.begin(), fragments.end(), at,
                                  [](std::size_t position, const Kf8Fragment& f) { return position < f.begin; });
    if (found == fragments.begin()) {
        at = found->begin;  // before the body's content: the document's start
    } else {
        --found;
        if (at == found->begin && found != fragments.begin()) --found;
    }
    const auto number = document.firstFragment + static_cast<std::size_t>(found - fragments.begin());
    return {u32(number), u32(at - found->begin), u32(document.start + at)};
}

Kf8Position Kf8Layout::resolve(const Kf8Target& target) const {
    if (documents_.empty()) return {};
    const Document& document = documents_[target.document < documents_.size() ? target.document : 0];
    const auto id = target.id.empty() ? document.ids.end() : document.ids.find(target.id);
    if (id == document.ids.end())
        return positionIn(document, document.fragments.empty() ? 0 : document.fragments.front().begin);
    return positionIn(document, id->second);
}

}  // namespace mobigen
