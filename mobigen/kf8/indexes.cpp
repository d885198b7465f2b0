#include "mobigen/kf8/indexes.h"

#include "mobigen/records/index.h"

#include <algorithm>
#include <cstdio>

namespace mobigen {
namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::string decimalLabel(std::uint32_t value) {
    char digits[11];
    std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(value));
    return digits;
}

struct NcxNode {
    std::string_view title;
    Kf8Position position;
    std::uint32_t length = 0;
    std::uint32_t depth = 0;
    std::size_t parent = kNone;
    std::vector<std::size_t> children;
};

// Depths as given can jump; a child is one deeper than the nearest shallower entry before it.
std::vector<NcxNode> nestedNodes(const std::vector<Kf8TocEntry>& toc, const Kf8Layout& layout) {
    std::vector<NcxNode> nodes(toc.size());
    std::vector<std::size_t> ancestors;
    std::vector<int> givenDepth;
    for (std::size_t i = 0; i < toc.size(); ++i) {
        while (!ancestors.empty() && givenDepth[ancestors.back()] >= toc[i].depth) ancestors.pop_back();
        givenDepth.push_back(toc[i].depth);
        NcxNode& node = nodes[i];
        node.title = shortenedTitle(toc[i].title);
        node.position = layout.resolve(toc[i].target);
        if (!ancestors.empty()) {
            node.parent = ancestors.back();
            node.depth = nodes[node.parent].depth + 1;
            nodes[node.parent].children.push_back(i);
        }
        ancestors.push_back(i);
    }
    // An entry runs to the next one at its depth or above, or to the end of the text.
    const auto textEnd = static_cast<std::uint32_t>(layout.flow0().size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        std::uint32_t end = textEnd;
        for (std::size_t j = i + 1; j < nodes.size(); ++j)
            if (nodes[j].depth <= nodes[i].depth) {
                end = std::max(nodes[j].position.assembled, nodes[i].position.assembled);
                break;
            }
        nodes[i].length = end - std::min(end, nodes[i].position.assembled);
    }
    return nodes;
}

// Level by level, children in their parent's order: within a level that is (depth, position)
// for a book whose contents follow its text.
std::vector<std::size_t> sortedOrder(const std::vector<NcxNode>& nodes) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].parent == kNone) order.push_back(i);
    for (std::size_t level = 0; level < order.size(); ++level)
        for (std::size_t child : nodes[order[level]].children) order.push_back(child);
    return order;
}

}  // namespace

std::vector<std::string> buildSkeletonIndex(const Kf8Layout& layout) {
    // fragment count, (start, length); each written twice as other writers do
    static const std::vector<IndexTag> tags = {{1, 1, 0x03}, {6, 2, 0x0C}};
    std::vector<IndexEntry> entries;
    for (std::size_t i = 0; i < layout.skeletons().size(); ++i) {
        const SkeletonEntry& s = layout.skeletons()[i];
        entries.push_back({"SKEL" + decimalLabel(static_cast<std::uint32_t>(i)),
                           {{s.fragmentCount, s.fragmentCount}, {s.start, s.length, s.start, s.length}}});
    }
    return buildIndexRecords(tags, entries, {});
}

std::vector<std::string> buildFragmentIndex(const Kf8Layout& layout) {
    // selector, file, sequence number, (offset in its file's fragments, length)
    static const std::vector<IndexTag> tags = {{2, 1, 0x01}, {3, 1, 0x02}, {4, 1, 0x04}, {6, 2, 0x08}};
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
    // title, (fragment, offset)
    static const std::vector<IndexTag> tags = {{1, 1, 0x01}, {6, 2, 0x02}};
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
    // position, length, title, depth, parent, first child, last child, (fragment, offset)
    static const std::vector<IndexTag> tags = {{1, 1, 0x01},  {2, 1, 0x02},  {3, 1, 0x04},  {4, 1, 0x08},
                                               {21, 1, 0x10}, {22, 1, 0x20}, {23, 1, 0x40}, {6, 2, 0x80}};
    const std::vector<NcxNode> nodes = nestedNodes(toc, layout);
    const std::vector<std::size_t> order = sortedOrder(nodes);
    std::vector<std::uint32_t> sortedNumber(nodes.size());
    for (std::size_t i = 0; i < order.size(); ++i) sortedNumber[order[i]] = static_cast<std::uint32_t>(i);

    CncxBuilder cncx(kCncxRecordLimit);
    std::vector<IndexEntry> entries;
    entries.reserve(nodes.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const NcxNode& node = nodes[order[i]];
        IndexEntry entry{hexLabel(i), {}};
        entry.values = {{node.position.assembled},
                        {node.length},
                        {cncx.add(node.title)},
                        {node.depth},
                        {},
                        {},
                        {},
                        {node.position.fragment, node.position.offset}};
        if (node.parent != kNone) entry.values[4] = {sortedNumber[node.parent]};
        if (!node.children.empty()) {
            entry.values[5] = {sortedNumber[node.children.front()]};
            entry.values[6] = {sortedNumber[node.children.back()]};
        }
        entries.push_back(std::move(entry));
    }
    return buildIndexRecords(tags, entries, cncx.finish());
}

}  // namespace mobigen
