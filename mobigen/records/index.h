#pragma once

#include "mobigen/text/ascii.h"

// INDX records as both parts of a joint file use them: a meta record with the TAGX, data
// records under 64 KB, then the CNCX records that hold their strings.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct IndexTag {
    std::uint8_t tag = 0;
    std::uint8_t valuesPerEntry = 1;
    std::uint8_t mask = 0;  // its bits in the entry's control byte
};

struct IndexEntry {
    std::string label;
    // One list per TAGX tag, in its order: whole groups of that tag's values, empty when absent.
    std::vector<std::vector<std::uint32_t>> values;
};

// Strings for an index. An offset names its record in its high 16 bits, so a record is
// closed before it would pass `recordLimit`.
class CncxBuilder {
public:
    explicit CncxBuilder(std::size_t recordLimit) : recordLimit_(recordLimit) {}
    std::uint32_t add(std::string_view text);
    std::vector<std::string> finish();

private:
    std::size_t recordLimit_;
    std::vector<std::string> records_{std::string()};
};

constexpr std::size_t kCncxRecordLimit = 0xFFF0;

// Long headings would bloat the CNCX; readers show a line or two anyway. Never cuts a character.
std::string_view shortenedTitle(std::string_view title);

// Uppercase hex with an even number of digits: 00, 01, ... 0100.
std::string hexLabel(std::size_t number);

// A contents list nested as readers want it. Depths as given can jump; an entry sits one below
// the nearest shallower entry before it.
inline constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
struct NestedEntry {
    std::size_t parent = kNoParent;
    std::vector<std::size_t> children;
    std::uint32_t depth = 0;
};
std::vector<NestedEntry> nestByDepth(const std::vector<int>& givenDepths);

// Level by level, children in their parent's order: the order readers expect index entries in.
std::vector<std::size_t> levelOrder(const std::vector<NestedEntry>& nested);

// Meta INDX, data INDX record(s), then `cncx`; empty without entries. Labels must ascend.
std::vector<std::string> buildIndexRecords(const std::vector<IndexTag>& tags, const std::vector<IndexEntry>& entries,
                                           std::vector<std::string> cncx);

}  // namespace mobigen
