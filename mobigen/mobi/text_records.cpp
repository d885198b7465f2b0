#include "mobigen/mobi/palmdoc.h"
#include "mobigen/mobi/records.h"

#include <algorithm>

namespace mobigen {
namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The rest of a character cut at `boundary`: readers use it to finish the record's last
// character, and it stays at the start of the next record as well.
std::string_view cutCharacterTail(std::string_view flow, std::size_t boundary) {
    std::size_t count = 0;
    while (count < 3 && boundary + count < flow.size() && isContinuationByte(flow[boundary + count])) ++count;
    return flow.substr(std::min(boundary, flow.size()), count);
}

}  // namespace

std::vector<std::string> buildTextRecords(std::string_view flow, Compression compression) {
    std::vector<std::string> records;
    records.reserve(flow.size() / kTextRecordSize + 1);
    std::size_t start = 0;
    do {
        const std::string_view chunk = flow.substr(start, kTextRecordSize);
        std::string record = compression == Compression::PalmDoc ? compressPalmDoc(chunk) : std::string(chunk);
        const std::string_view tail = cutCharacterTail(flow, start + chunk.size());
        record.append(tail.data(), tail.size());
        record.push_back(static_cast<char>(tail.size()));
        records.push_back(std::move(record));
        start += kTextRecordSize;
    } while (start < flow.size());
    return records;
}

}  // namespace mobigen
