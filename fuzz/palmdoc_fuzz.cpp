// PalmDOC compression of one text record (up to 4096 bytes) decodes back to the record, and
// never grows it by more than a count byte per eight literal bytes.

#include "fuzz/fuzz_support.h"
#include "mobigen/records/palmdoc.h"
#include "tests/support/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view record = fuzz::bytesOf(data, size).substr(0, 4096);
    const std::string packed = mobigen::compressPalmDoc(record);
    const std::optional<std::string> unpacked = test_support::decodePalmDoc(packed);
    if (!unpacked) fuzz::fail("the compressed record does not decode");
    if (*unpacked != record) fuzz::fail("the record decodes to other bytes");
    fuzz::check(packed.size() <= record.size() + (record.size() + 7) / 8, "the record grew more than literals need");
    return 0;
}
