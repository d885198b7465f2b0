#pragma once

// The NCX index of either part: entries nested by their depths and written level by level,
// so that each parent's children are consecutive and parent and child numbers refer to that
// order. Its CNCX is split into records under 64 KB like every other index.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct NcxPoint {
    std::string_view title;
    std::uint32_t position = 0;  // where the entry starts in the text
    int depth = 0;               // as given: may jump; a child is one deeper than its parent
    // KF8's kindle:pos pair (fragment number, offset), written when present.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> fragmentOffset;
};

// Meta INDX, data INDX records and CNCX records, in reading order of `points`; empty without
// any. An entry runs to the next one at its depth or above, or to `textEnd`.
std::vector<std::string> buildNcxIndex(const std::vector<NcxPoint>& points, std::uint32_t textEnd);

}  // namespace mobigen
