#include "mobigen/records/record_buffer.h"
#include "mobigen/records/records.h"

namespace mobigen {

std::string buildFlisRecord() {
    MobiBuffer b;
    b.bytes("FLIS");     // 0
    b.u32(8);            // 4
    b.u16(0x41);         // 8
    b.u16(0);            // 10
    b.u32(0);            // 12
    b.u32(kMobiNotSet);  // 16
    b.u16(1);            // 20
    b.u16(3);            // 22
    b.u32(3);            // 24
    b.u32(1);            // 28
    b.u32(kMobiNotSet);  // 32
    return b.take();
}

std::string buildFcisRecord(std::uint32_t textLength, bool kf8) {
    MobiBuffer b;
    b.bytes("FCIS");     // 0
    b.u32(0x14);         // 4
    b.u32(0x10);         // 8
    b.u32(kf8 ? 2 : 1);  // 12
    b.u32(0);            // 16
    b.u32(textLength);   // 20
    b.u32(0);            // 24
    if (kf8) {
        b.u32(0x28);  // 28
        b.u32(0);     // 32
    }
    b.u32(kf8 ? 0x28 : 0x20);  // 28 (36 in KF8)
    b.u32(8);                  // 32
    b.u16(1);                  // 36
    b.u16(1);                  // 38
    b.u32(0);                  // 40
    return b.take();
}

std::string buildEofRecord() { return std::string("\xE9\x8E\x0D\x0A", 4); }

}  // namespace mobigen
