// The zip reader on any bytes, with small limits so that lying sizes and bombs are caught
// by the limits rather than by memory: every listed name is safe and every entry reads
// within the limits or is refused.

#include "fuzz/fuzz_support.h"
#include "mobigen/book.h"
#include "mobigen/source/zip.h"

namespace {

using namespace mobigen;

constexpr ZipLimits kLimits{64 * 1024, 256 * 1024};

bool hasParentSegment(std::string_view name) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of("/\\", start);
        if (name.substr(start, end == std::string_view::npos ? end : end - start) == "..") return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

// Only the cases that must be refused; what else counts as unsafe is the reader's choice.
void checkSafetyRule(std::string_view name) {
    const bool escapes = hasParentSegment(name) || (!name.empty() && (name[0] == '/' || name[0] == '\\'));
    if (escapes) fuzz::check(!isSafeEntryName(name), "an escaping name counts as safe");
}

void readEveryEntry(ZipArchive& zip) {
    std::uint64_t total = 0;
    for (const std::string& name : zip.names()) {
        fuzz::check(isSafeEntryName(name), "an unsafe name was listed");
        fuzz::check(zip.find(name) == name, "a listed name is not found as itself");
        try {
            const std::string content = zip.read(name);
            fuzz::check(content.size() <= kLimits.maxEntryBytes, "an entry is larger than its limit");
            total += content.size();
            fuzz::check(total <= kLimits.maxTotalBytes, "the archive gave more than its limit");
        } catch (const ConversionError&) {
            // A damaged or refused entry; the others may still be read.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);
    checkSafetyRule(bytes.substr(0, 256));
    try {
        ZipArchive zip(bytes, kLimits);
        readEveryEntry(zip);
        (void)zip.contains("META-INF/container.xml");
    } catch (const ConversionError&) {
        // Not a zip archive, or one that is refused as a whole.
    }
    return 0;
}
