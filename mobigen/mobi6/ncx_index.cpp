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

}  // namespace

std::vector<std::string> buildNcxRecords(const std::vector<TocEntry>& toc, std::uint32_t textLength) {
    // filepos, length, CNCX offset of the title, depth
    static const std::vector<IndexTag> tags = {{1, 1, 0x01}, {2, 1, 0x02}, {3, 1, 0x04}, {4, 1, 0x08}};
    // The MOBI 6 part has always kept its titles in one CNCX record.
    CncxBuilder cncx(std::numeric_limits<std::size_t>::max());
    std::vector<IndexEntry> entries;
    entries.reserve(toc.size());
    for (std::size_t i = 0; i < toc.size(); ++i) {
        const std::uint32_t title = cncx.add(shortenedTitle(toc[i].title));
        const TocEntry entry = clampedEntry(toc[i], textLength);
        entries.push_back({hexLabel(i), {{entry.filepos}, {entry.length}, {title}, {0}}});  // flat: depth 0
    }
    return buildIndexRecords(tags, entries, cncx.finish());
}

}  // namespace mobigen
