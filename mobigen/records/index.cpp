#include "mobigen/records/index.h"

#include "mobigen/records/record_buffer.h"

namespace mobigen {
namespace {

constexpr std::uint32_t kIndxHeaderLength = 192;
// IDXT offsets are 16-bit, so a data record must stay below 64 KB.
constexpr std::size_t kDataRecordLimit = 0xFFF0;
constexpr std::size_t kMaxTitleBytes = 240;

struct DataRecordPlan {
    std::string entries;
    std::vector<std::uint16_t> entryOffsets;
    std::string lastLabel;
};

unsigned lowestBit(std::uint8_t mask) {
    unsigned shift = 0;
    while (shift < 8 && !(mask & (1u << shift))) ++shift;
    return shift;
}

std::string encodeEntry(const std::vector<IndexTag>& tags, const IndexEntry& entry) {
    MobiBuffer b;
    b.u8(static_cast<std::uint8_t>(entry.label.size()));
    b.bytes(entry.label);
    unsigned control = 0;
    for (std::size_t i = 0; i < tags.size() && i < entry.values.size(); ++i) {
        const std::size_t groups = entry.values[i].size() / tags[i].valuesPerEntry;
        control |= static_cast<unsigned>(groups << lowestBit(tags[i].mask)) & tags[i].mask;
    }
    b.u8(static_cast<std::uint8_t>(control));
    for (const std::vector<std::uint32_t>& values : entry.values)
        for (std::uint32_t value : values) b.forwardVarint(value);
    return b.take();
}

std::size_t dataRecordSize(const DataRecordPlan& plan, std::size_t extraEntryBytes) {
    return kIndxHeaderLength + plan.entries.size() + extraEntryBytes + 4 + 4 + 2 * (plan.entryOffsets.size() + 1) + 4;
}

void writeIdxt(MobiBuffer& b, const std::vector<std::uint16_t>& offsets) {
    b.padTo(4);
    b.bytes("IDXT");
    for (std::uint16_t offset : offsets) b.u16(offset);
    b.padTo(4);
}

void writeIndxHeader(MobiBuffer& b, std::uint32_t type, std::uint32_t entryCount) {
    b.bytes("INDX");           // 0
    b.u32(kIndxHeaderLength);  // 4: header length
    b.u32(0);                  // 8
    b.u32(type);               // 12: 0 meta, 1 data
    b.u32(0);                  // 16
    b.u32(0);                  // 20: IDXT offset, patched later
    b.u32(entryCount);         // 24: data records (meta) or entries (data)
}

std::string buildDataRecord(const DataRecordPlan& plan) {
    MobiBuffer b;
    writeIndxHeader(b, 1, static_cast<std::uint32_t>(plan.entryOffsets.size()));
    b.u32(kMobiNotSet);  // 28
    b.u32(kMobiNotSet);  // 32
    b.zeros(kIndxHeaderLength - b.size());
    b.bytes(plan.entries);
    b.padTo(4);
    b.patchU32(20, static_cast<std::uint32_t>(b.size()));
    writeIdxt(b, plan.entryOffsets);
    return b.take();
}

void writeTagx(MobiBuffer& b, const std::vector<IndexTag>& tags) {
    b.bytes("TAGX");
    b.u32(static_cast<std::uint32_t>(12 + 4 * (tags.size() + 1)));
    b.u32(1);  // control bytes per entry: every mask fits in one
    for (const IndexTag& tag : tags) {
        b.u8(tag.tag);
        b.u8(tag.valuesPerEntry);
        b.u8(tag.mask);
        b.u8(0);
    }
    b.bytes(std::string_view("\0\0\0\1", 4));  // end of the control byte
}

std::string buildMetaRecord(const std::vector<IndexTag>& tags, const std::vector<DataRecordPlan>& plans,
                            std::size_t totalEntries, std::size_t cncxRecords) {
    MobiBuffer b;
    writeIndxHeader(b, 0, static_cast<std::uint32_t>(plans.size()));
    b.u32(65001);                                     // 28: encoding
    b.u32(kMobiNotSet);                               // 32
    b.u32(static_cast<std::uint32_t>(totalEntries));  // 36: total entries
    b.zeros(12);                                      // 40-51: ORDT, LIGT offset, LIGT count
    b.u32(static_cast<std::uint32_t>(cncxRecords));   // 52: CNCX records
    b.zeros(180 - b.size());                          // 56-179
    b.u32(kIndxHeaderLength);                         // 180
    b.zeros(kIndxHeaderLength - b.size());            // 184-191
    writeTagx(b, tags);

    // One entry per data record: its last label and its entry count.
    std::vector<std::uint16_t> offsets;
    for (const DataRecordPlan& plan : plans) {
        offsets.push_back(static_cast<std::uint16_t>(b.size()));
        b.u8(static_cast<std::uint8_t>(plan.lastLabel.size()));
        b.bytes(plan.lastLabel);
        b.u16(static_cast<std::uint16_t>(plan.entryOffsets.size()));
    }
    b.padTo(4);
    b.patchU32(20, static_cast<std::uint32_t>(b.size()));
    writeIdxt(b, offsets);
    return b.take();
}

}  // namespace

std::uint32_t CncxBuilder::add(std::string_view text) {
    MobiBuffer b;
    b.forwardVarint(static_cast<std::uint32_t>(text.size()));
    b.bytes(text);
    if (!records_.back().empty() && records_.back().size() + b.size() > recordLimit_) records_.emplace_back();
    const auto offset = static_cast<std::uint32_t>(((records_.size() - 1) << 16) + records_.back().size());
    records_.back() += b.view();
    return offset;
}

std::vector<std::string> CncxBuilder::finish() {
    for (std::string& record : records_) record.append((4 - record.size() % 4) % 4, '\0');
    return std::move(records_);
}

std::string_view shortenedTitle(std::string_view title) {
    if (title.size() <= kMaxTitleBytes) return title;
    std::size_t end = kMaxTitleBytes;
    while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) --end;
    return title.substr(0, end);
}

std::string hexLabel(std::size_t number) {
    std::string label = upperDigits(number, 4, 0);
    return label.size() % 2 != 0 ? "0" + label : label;
}

std::vector<std::string> buildIndexRecords(const std::vector<IndexTag>& tags, const std::vector<IndexEntry>& entries,
                                           std::vector<std::string> cncx) {
    if (entries.empty()) return {};
    std::vector<DataRecordPlan> plans(1);
    for (const IndexEntry& entry : entries) {
        const std::string encoded = encodeEntry(tags, entry);
        if (!plans.back().entryOffsets.empty() && dataRecordSize(plans.back(), encoded.size()) > kDataRecordLimit)
            plans.emplace_back();
        DataRecordPlan& plan = plans.back();
        plan.entryOffsets.push_back(static_cast<std::uint16_t>(kIndxHeaderLength + plan.entries.size()));
        plan.entries += encoded;
        plan.lastLabel = entry.label;
    }
    std::vector<std::string> records;
    records.push_back(buildMetaRecord(tags, plans, entries.size(), cncx.size()));
    for (const DataRecordPlan& plan : plans) records.push_back(buildDataRecord(plan));
    for (std::string& record : cncx) records.push_back(std::move(record));
    return records;
}

std::vector<NestedEntry> nestByDepth(const std::vector<int>& givenDepths) {
    std::vector<NestedEntry> nested(givenDepths.size());
    std::vector<std::size_t> ancestors;
    for (std::size_t i = 0; i < givenDepths.size(); ++i) {
        while (!ancestors.empty() && givenDepths[ancestors.back()] >= givenDepths[i]) ancestors.pop_back();
        if (!ancestors.empty()) {
            nested[i].parent = ancestors.back();
            nested[i].depth = nested[nested[i].parent].depth + 1;
            nested[nested[i].parent].children.push_back(i);
        }
        ancestors.push_back(i);
    }
    return nested;
}

std::vector<std::size_t> levelOrder(const std::vector<NestedEntry>& nested) {
    std::vector<std::size_t> order;
    order.reserve(nested.size());
    for (std::size_t i = 0; i < nested.size(); ++i)
        if (nested[i].parent == kNoParent) order.push_back(i);
    for (std::size_t level = 0; level < order.size(); ++level)
        for (std::size_t child : nested[order[level]].children) order.push_back(child);
    return order;
}

}  // namespace mobigen
