#include "mobigen/mobi6/writer.h"
#include "mobigen/records/ncx.h"

#include <algorithm>

namespace mobigen {

std::vector<std::string> buildNcxRecords(const std::vector<TocEntry>& toc, std::uint32_t textLength) {
    // One target past the end makes strict readers drop the whole index.
    const std::uint32_t last = textLength == 0 ? 0 : textLength - 1;
    std::vector<NcxPoint> points;
    points.reserve(toc.size());
    for (const TocEntry& entry : toc) points.push_back({entry.title, std::min(entry.filepos, last), entry.depth, {}});
    return buildNcxIndex(points, textLength);
}

}  // namespace mobigen
