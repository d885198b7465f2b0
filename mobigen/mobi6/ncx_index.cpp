#include "mobigen/mobi6/writer.h"
#include "mobigen/records/index.h"
#include "mobigen/records/records.h"

#include <algorithm>
#include <limits>

namespace mobigen {
namespace {

// One target past the end makes strict readers drop the whole index.
TocEntry clampedEntry(const TocEntry& entry, std::uint32_t textLength) {
    TocEntry clamped = entry;
    const std::uint32_t last = textLength == 0 ? 0 : textLength - 1;
    clamped.filepos = std::min(entry.filepos, last);
    clamped.length = std::min(entry.length, textLength - clamped.filepos);
    return clamped;
}

// Where the entry's span ends: at the next entry no deeper than it, or at the end of the text.
std::uint32_t spanEnd(const std::vector<TocEntry>& toc, const std::vector<NestedEntry>& nested, std::size_t at,
                      std::uint32_t textLength) {
    for (std::size_t next = at + 1; next < toc.size(); ++next)
        if (nested[next].depth <= nested[at].depth) return std::max(toc[next].filepos, toc[at].filepos);
    return std::max(textLength, toc[at].filepos);
}

}  // namespace

std::vector<std::string> buildNcxRecords(const std::vector<TocEntry>& toc, std::uint32_t textLength) {
    // filepos, length, CNCX offset of the title, depth, then for a nested list parent, first and
    // last child; a flat list is written without the three, as it always was.
    static const std::vector<IndexTag> flatTags = {{1, 1, 0x01}, {2, 1, 0x02}, {3, 1, 0x04}, {4, 1, 0x08}};
    static const std::vector<IndexTag> nestedTags = {{1, 1, 0x01},  {2, 1, 0x02},  {3, 1, 0x04}, {4, 1, 0x08},
                                                     {21, 1, 0x10}, {22, 1, 0x20}, {23, 1, 0x40}};
    const bool flat = std::all_of(toc.begin(), toc.end(), [](const TocEntry& entry) { return entry.depth == 0; });
    std::vector<int> depths;
    depths.reserve(toc.size());
    for (const TocEntry& entry : toc) depths.push_back(entry.depth);
    const std::vector<NestedEntry> nested = nestByDepth(depths);
    const std::vector<std::size_t> order = levelOrder(nested);
    std::vector<std::uint32_t> sortedNumber(toc.size());
    for (std::size_t i = 0; i < order.size(); ++i) sortedNumber[order[i]] = static_cast<std::uint32_t>(i);

    // The MOBI 6 part has always kept its titles in one CNCX record.
    CncxBuilder cncx(std::numeric_limits<std::size_t>::max());
    std::vector<IndexEntry> entries;
    entries.reserve(toc.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::size_t at = order[i];
        const NestedEntry& node = nested[at];
        TocEntry entry = toc[at];
        // A volume runs on over its chapters, to the next entry at its level or above.
        if (!node.children.empty()) entry.length = spanEnd(toc, nested, at, textLength) - entry.filepos;
        entry = clampedEntry(entry, textLength);
        IndexEntry indexEntry{
            hexLabel(i),
            {{entry.filepos}, {entry.length}, {cncx.add(shortenedTitle(entry.title))}, {node.depth}, {}, {}, {}}};
        if (node.parent != kNoParent) indexEntry.values[4] = {sortedNumber[node.parent]};
        if (!node.children.empty()) {
            indexEntry.values[5] = {sortedNumber[node.children.front()]};
            indexEntry.values[6] = {sortedNumber[node.children.back()]};
        }
        if (flat) indexEntry.values.resize(flatTags.size());
        entries.push_back(std::move(indexEntry));
    }
    return buildIndexRecords(flat ? flatTags : nestedTags, entries, cncx.finish());
}

}  // namespace mobigen
