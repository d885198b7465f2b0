#include "mobigen/kf8/indexes.h"

#include "mobigen/records/index.h"
#include "mobigen/records/index_tags.h"
#include "mobigen/records/ncx.h"

#include <cstdio>

namespace mobigen {
namespace {

std::string decimalLabel(std::uint32_t value) {
    char digits[11];
    std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(value));
    return digits;
}

}  // namespace

std::vector<std::string> buildSkeletonIndex(const Kf8Layout& layout) {
    // Each value written twice, as other writers do.
    namespace tag = index_tag::skeleton;
    static const std::vector<IndexTag> tags = {{tag::kFragmentCount, 1, 0x03}, {tag::kStartLength, 2, 0x0C}};
    std::vector<IndexEntry> entries;
    for (std::size_t i = 0; i < layout.skeletons().size(); ++i) {
        const SkeletonEntry& s = layout.skeletons()[i];
        entries.push_back({"SKEL" + decimalLabel(static_cast<std::uint32_t>(i)),
                           {{s.fragmentCount, s.fragmentCount}, {s.start, s.length, s.start, s.length}}});
    }
    return buildIndexRecords(tags, entries, {});
}

std::vector<std::string> buildFragmentIndex(const Kf8Layout& layout) {
    namespace tag = index_tag::fragment;
    static const std::vector<IndexTag> tags = {
        {tag::kSelector, 1, 0x01}, {tag::kFile, 1, 0x02}, {tag::kSequence, 1, 0x04}, {tag::kOffsetLength, 2, 0x08}};
    CncxBuilder cncx(kCncxRecordLimit);
    std::vector<IndexEntry> entries;
    entries.reserve(layout.fragments().size());
    for (std::size_t i = 0; i < layout.fragments().size(); ++i) {
        const FragmentEntry& f = layout.fragments()[i];
        entries.push_back(
            {decimalLabel(f.insertPosition),
             {{cncx.add(f.selector)}, {f.file}, {static_cast<std::uint32_t>(i)}, {f.offsetInFile, f.length}}});
    }
    return buildIndexRecords(tags, entries, cncx.finish());
}

std::vector<std::string> buildGuideIndex(const Kf8Part& part, const Kf8Layout& layout) {
    namespace tag = index_tag::guide;
    static const std::vector<IndexTag> tags = {{tag::kTitle, 1, 0x01}, {tag::kFragmentOffset, 2, 0x02}};
    struct Reference {
        const char* type;
        const char* title;
        const std::optional<Kf8Target>& target;
    };
    // Sorted by type, as readers expect.
    const Reference references[] = {{"text", "Start", part.start}, {"toc", "Table of Contents", part.contents}};
    CncxBuilder cncx(kCncxRecordLimit);
    std::vector<IndexEntry> entries;
    for (const Reference& reference : references) {
        if (!reference.target) continue;
        const Kf8Position position = layout.resolve(*reference.target);
        entries.push_back({reference.type, {{cncx.add(reference.title)}, {position.fragment, position.offset}}});
    }
    return buildIndexRecords(tags, entries, cncx.finish());
}

std::vector<std::string> buildKf8NcxIndex(const std::vector<Kf8TocEntry>& toc, const Kf8Layout& layout) {
    std::vector<NcxPoint> points;
    points.reserve(toc.size());
    for (const Kf8TocEntry& entry : toc) {
        const Kf8Position position = layout.resolve(entry.target);
        points.push_back({entry.title, position.assembled, entry.depth, {{position.fragment, position.offset}}});
    }
    return buildNcxIndex(points, static_cast<std::uint32_t>(layout.flow0().size()));
}

}  // namespace mobigen
