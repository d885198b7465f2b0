#include "mobigen/records/ncx.h"

#include "mobigen/records/index.h"
#include "mobigen/records/index_tags.h"

#include <algorithm>

namespace mobigen {
namespace {

// An entry runs to the next one no deeper than it: one pass with the chain of open entries,
// each closed by the first later entry at its depth or above.
std::vector<std::uint32_t> spanLengths(const std::vector<NcxPoint>& points, const std::vector<NestedEntry>& nested,
                                       std::uint32_t textEnd) {
    std::vector<std::uint32_t> lengths(points.size());
    std::vector<std::size_t> open;
    const auto close = [&](std::size_t i, std::uint32_t end) {
        lengths[i] = end > points[i].position ? end - points[i].position : 0;
    };
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (; !open.empty() && nested[open.back()].depth >= nested[i].depth; open.pop_back())
            close(open.back(), points[i].position);
        open.push_back(i);
    }
    for (std::size_t i : open) close(i, textEnd);
    return lengths;
}

}  // namespace

std::vector<std::string> buildNcxIndex(const std::vector<NcxPoint>& points, std::uint32_t textEnd) {
    namespace tag = index_tag::ncx;
    std::vector<int> depths;
    depths.reserve(points.size());
    for (const NcxPoint& point : points) depths.push_back(point.depth);
    const std::vector<NestedEntry> nested = nestByDepth(depths);
    const std::vector<std::size_t> order = levelOrder(nested);
    const std::vector<std::uint32_t> lengths = spanLengths(points, nested, textEnd);
    std::vector<std::uint32_t> number(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) number[order[i]] = static_cast<std::uint32_t>(i);

    // A flat MOBI 6 list keeps the four tags it always had; KF8 always names the family.
    const bool kf8 = std::any_of(points.begin(), points.end(), [](const NcxPoint& p) { return p.fragmentOffset; });
    const bool flat = std::all_of(nested.begin(), nested.end(), [](const NestedEntry& e) { return e.depth == 0; });
    std::vector<IndexTag> tags = {{tag::kPosition, 1, 0x01},  {tag::kLength, 1, 0x02},
                                  {tag::kTitle, 1, 0x04},     {tag::kDepth, 1, 0x08},
                                  {tag::kParent, 1, 0x10},    {tag::kFirstChild, 1, 0x20},
                                  {tag::kLastChild, 1, 0x40}, {tag::kFragmentOffset, 2, 0x80}};
    tags.resize(kf8 ? 8 : flat ? 4 : 7);

    CncxBuilder cncx(kCncxRecordLimit);
    std::vector<IndexEntry> entries;
    entries.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::size_t at = order[i];
        const NcxPoint& point = points[at];
        const NestedEntry& node = nested[at];
        IndexEntry entry{hexLabel(i, order.size()), std::vector<std::vector<std::uint32_t>>(8)};
        entry.values[0] = {point.position};
        entry.values[1] = {lengths[at]};
        entry.values[2] = {cncx.add(shortenedTitle(point.title))};
        entry.values[3] = {node.depth};
        // Written only where they apply: one reader nests by the parent, the other by the children.
        if (node.parent != kNoParent) entry.values[4] = {number[node.parent]};
        if (!node.children.empty()) {
            entry.values[5] = {number[node.children.front()]};
            entry.values[6] = {number[node.children.back()]};
        }
        if (point.fragmentOffset) entry.values[7] = {point.fragmentOffset->first, point.fragmentOffset->second};
        entry.values.resize(tags.size());
        entries.push_back(std::move(entry));
    }
    return buildIndexRecords(tags, entries, cncx.finish());
}

}  // namespace mobigen
