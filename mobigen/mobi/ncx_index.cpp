#include "mobigen/mobi/record_buffer.h"
#include "mobigen/mobi/records.h"

#include <algorithm>

namespace mobigen {
namespace {

constexpr std::uint32_t kIndxHeaderLength = 192;
constexpr std::uint32_t kTagxLength = 32;
// IDXT offsets are 16-bit, so a data record must stay below 64 KB.
constexpr std::size_t kDataRecordLimit = 0xFFF0;
// Long headings would bloat the CNCX; readers show a line or two anyway.
constexpr std::size_t kMaxTitleBytes = 240;

std::string entryLabel(std::size_t number) {
    static const char digits[] = "0123456789ABCDEF";
    std::string label;
    do {
        label.insert(label.begin(), digits[number & 0xF]);
        number >>= 4;
    } while (number != 0);
    if (label.size() % 2 != 0) label.insert(label.begin(), '0');
    return label;
}

// Cuts at a character boundary so the CNCX never holds half a UTF-8 sequence.
std::string_view shortenedTitle(std::string_view title) {
    if (title.size() <= kMaxTitleBytes) return title;
    std::size_t end = kMaxTitleBytes;
    while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) --end;
    return title.substr(0, end);
}

struct DataRecordPlan {
    std::string entries;
    std::vector<std::uint16_t> entryOffsets;
    std::string lastLabel;
};

// One target past the end makes strict readers drop the whole index.
TocEntry clampedEntry(const TocEntry& entry, std::uint32_t textLength) {
    TocEntry clamped = entry;
    const std::uint32_t last = textLength == 0 ? 0 : textLength - 1;
    clamped.filepos = std::min(entry.filepos, last);
    clamped.length = std::min(entry.length, textLength - clamped.filepos);
    return clamped;
}

std::string encodeEntry(std::size_t number, const TocEntry& entry, std::uint32_t cncxOffset) {
    MobiBuffer b;
    const std::string label = entryLabel(number);
    b.u8(static_cast<std::uint8_t>(label.size()));
    b.bytes(label);
    b.u8(0x0F);  // control byte: tags 1-4 present once each
    b.forwardVarint(entry.filepos);
    b.forwardVarint(entry.length);
    b.forwardVarint(cncxOffset);
    b.forwardVarint(0);  // depth: the index is flat
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

std::string buildMetaRecord(const std::vector<DataRecordPlan>& plans, std::size_t totalEntries) {
    MobiBuffer b;
    writeIndxHeader(b, 0, static_cast<std::uint32_t>(plans.size()));
    b.u32(65001);                                     // 28: encoding
    b.u32(kMobiNotSet);                               // 32
    b.u32(static_cast<std::uint32_t>(totalEntries));  // 36: total entries
    b.zeros(12);                                      // 40-51: ORDT, LIGT offset, LIGT count
    b.u32(1);                                         // 52: CNCX records
    b.zeros(180 - b.size());                          // 56-179
    b.u32(kIndxHeaderLength);                         // 180
    b.zeros(kIndxHeaderLength - b.size());            // 184-191

    b.bytes("TAGX");  // 192
    b.u32(kTagxLength);
    b.u32(1);  // control bytes per entry
    const std::uint8_t tags[][4] = {{1, 1, 0x01, 0}, {2, 1, 0x02, 0}, {3, 1, 0x04, 0}, {4, 1, 0x08, 0}, {0, 0, 0, 1}};
    for (const auto& tag : tags)
        for (std::uint8_t value : tag) b.u8(value);

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

std::vector<std::string> buildNcxRecords(const std::vector<TocEntry>& toc, std::uint32_t textLength) {
    if (toc.empty()) return {};
    MobiBuffer cncx;
    std::vector<DataRecordPlan> plans(1);
    for (std::size_t i = 0; i < toc.size(); ++i) {
        const auto cncxOffset = static_cast<std::uint32_t>(cncx.size());
        const std::string_view title = shortenedTitle(toc[i].title);
        cncx.forwardVarint(static_cast<std::uint32_t>(title.size()));
        cncx.bytes(title);

        const std::string entry = encodeEntry(i, clampedEntry(toc[i], textLength), cncxOffset);
        if (!plans.back().entryOffsets.empty() && dataRecordSize(plans.back(), entry.size()) > kDataRecordLimit)
            plans.emplace_back();
        DataRecordPlan& plan = plans.back();
        plan.entryOffsets.push_back(static_cast<std::uint16_t>(kIndxHeaderLength + plan.entries.size()));
        plan.entries += entry;
        plan.lastLabel = entryLabel(i);
    }
    cncx.padTo(4);

    std::vector<std::string> records;
    records.push_back(buildMetaRecord(plans, toc.size()));
    for (const DataRecordPlan& plan : plans) records.push_back(buildDataRecord(plan));
    records.push_back(cncx.take());
    return records;
}

}  // namespace mobigen
