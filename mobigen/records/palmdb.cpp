#include "mobigen/records/record_buffer.h"
#include "mobigen/records/records.h"

#include <cctype>

namespace mobigen {
namespace {

constexpr std::size_t kPalmDbHeaderLength = 78;
constexpr std::size_t kRecordEntryLength = 8;
constexpr std::size_t kMaxNameLength = 31;

}  // namespace

// ASCII letters, digits and '-' survive; every other run becomes one '_'.
std::string palmDbName(std::string_view title) {
    std::string name;
    bool anyAlnum = false;
    for (char c : title) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && (std::isalnum(u) || c == '-')) {
            name.push_back(c);
            anyAlnum = anyAlnum || std::isalnum(u);
        } else if (name.empty() || name.back() != '_') {
            name.push_back('_');
        }
        if (name.size() == kMaxNameLength) break;
    }
    return anyAlnum ? name : std::string("Book");
}

std::string palmDbHeader(std::string_view title, const std::vector<std::uint32_t>& recordSizes,
                         std::uint32_t unixTime) {
    const std::size_t count = recordSizes.size();
    MobiBuffer b;
    const std::string name = palmDbName(title);
    b.bytes(name);
    b.zeros(32 - name.size());                         // 0: name, NUL-padded
    b.u16(0);                                          // 32: attributes
    b.u16(0);                                          // 34: version
    b.u32(unixTime);                                   // 36: created
    b.u32(unixTime);                                   // 40: modified
    b.u32(0);                                          // 44: backed up
    b.u32(0);                                          // 48: modification number
    b.u32(0);                                          // 52: appInfo
    b.u32(0);                                          // 56: sortInfo
    b.bytes("BOOK");                                   // 60: type
    b.bytes("MOBI");                                   // 64: creator
    b.u32(static_cast<std::uint32_t>(2 * count - 1));  // 68: uniqueIDseed
    b.u32(0);                                          // 72: nextRecordListID
    b.u16(static_cast<std::uint16_t>(count));          // 76: record count

    std::size_t offset = kPalmDbHeaderLength + kRecordEntryLength * count + 2;
    for (std::size_t i = 0; i < count; ++i) {
        b.u32(static_cast<std::uint32_t>(offset));  // record offset
        const auto id = static_cast<std::uint32_t>(2 * i);
        b.u8(0);                                    // attributes
        b.u8(static_cast<std::uint8_t>(id >> 16));  // 3-byte unique id
        b.u16(static_cast<std::uint16_t>(id));
        offset += recordSizes[i];
    }
    if (offset > 0xFFFFFFFFu) throw ConversionError{"The book is too large for a MOBI file (over 4 GB)."};
    b.u16(0);  // gap before the first record
    return b.take();
}

std::string palmDbFile(const std::string& header, const RecordList& records) {
    std::size_t size = header.size();
    for (const std::string& record : records.records) size += record.size();
    std::string file;
    file.reserve(size);
    file += header;
    for (const std::string& record : records.records) file += record;
    return file;
}

}  // namespace mobigen
