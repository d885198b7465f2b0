#include "mobigen/kf8/resources.h"

#include "mobigen/book.h"
#include "mobigen/records/record_buffer.h"

#include <zlib.h>

#include <algorithm>

namespace mobigen {
namespace {

constexpr std::size_t kFontKeyLength = 20;
constexpr std::size_t kObfuscatedBytes = 1040;
constexpr std::uint32_t kFontZlib = 1;
constexpr std::uint32_t kFontObfuscated = 2;
constexpr std::uint32_t kFontHeaderLength = 24;

std::string compressed(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw ConversionError{"A font could not be compressed."};
    out.resize(size);
    return out;
}

// The key only has to differ between fonts; drawing it from the font keeps output reproducible.
std::string keyFor(std::string_view font) {
    std::uint64_t state = 1469598103934665603ull;
    for (unsigned char c : font) state = (state ^ c) * 1099511628211ull;
    std::string key;
    for (std::size_t i = 0; i < kFontKeyLength; ++i) {
        state ^= state >> 33;
        state *= 0xFF51AFD7ED558CCDull;
        state ^= state >> 29;
        key.push_back(static_cast<char>(state >> 56));
    }
    return key;
}

}  // namespace

std::string buildFontRecord(std::string_view font) {
    std::string data = compressed(font);
    const std::string key = keyFor(font);
    for (std::size_t i = 0; i < std::min(data.size(), kObfuscatedBytes); ++i) data[i] ^= key[i % key.size()];
    MobiBuffer b;
    b.bytes("FONT");                                                    // 0
    b.u32(static_cast<std::uint32_t>(font.size()));                     // 4: decoded size
    b.u32(kFontZlib | kFontObfuscated);                                 // 8: flags
    b.u32(static_cast<std::uint32_t>(kFontHeaderLength + key.size()));  // 12: data offset
    b.u32(static_cast<std::uint32_t>(key.size()));                      // 16: key length
    b.u32(kFontHeaderLength);                                           // 20: key offset
    b.bytes(key);
    b.bytes(data);
    return b.take();
}

std::string buildFdstRecord(const std::vector<std::uint32_t>& flowEnds) {
    MobiBuffer b;
    b.bytes("FDST");
    b.u32(12);  // offset of the table
    b.u32(static_cast<std::uint32_t>(flowEnds.size()));
    std::uint32_t start = 0;
    for (std::uint32_t end : flowEnds) {
        b.u32(start);
        b.u32(end);
        start = end;
    }
    return b.take();
}

}  // namespace mobigen
