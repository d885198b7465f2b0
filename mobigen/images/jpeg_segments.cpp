#include "mobigen/images/jpeg_segments.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace mobigen {
namespace {

unsigned byteAt(std::string_view data, std::size_t at) { return static_cast<unsigned char>(data[at]); }
unsigned byteOrZero(std::string_view data, std::size_t at) { return at < data.size() ? byteAt(data, at) : 0; }
unsigned big16(std::string_view data, std::size_t at) { return byteAt(data, at) << 8 | byteAt(data, at + 1); }

bool isStandaloneMarker(unsigned marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }
bool isFrameMarker(unsigned marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Entropy-coded data runs to the first 0xFF that is neither stuffing (FF00), a restart marker
// nor fill.
std::size_t endOfScan(std::string_view data, std::size_t at) {
    for (at = data.find('\xFF', at); at != std::string_view::npos && at + 1 < data.size(); at = data.find('\xFF', at)) {
        const unsigned next = byteAt(data, at + 1);
        if (next != 0x00 && next != 0xFF && !isStandaloneMarker(next)) return at;
        at += next == 0xFF ? 1 : 2;
    }
    return data.size();
}

// Reads the tables as stb does, past the segment's end if the counts say so: the stb in Debian 12
// (2.27) writes past its 256-entry tables when the counts add up to more.
bool huffmanSegmentFits(std::string_view data, std::size_t at, std::size_t length) {
    long remaining = static_cast<long>(length) - 2;
    at += 4;
    while (remaining > 0) {
        long count = 0;
        for (std::size_t i = 1; i <= 16; ++i) count += byteOrZero(data, at + i);
        if (count > 256) return false;
        at += static_cast<std::size_t>(17 + count);
        remaining -= 17 + count;
    }
    return remaining == 0;
}

// One marker segment with a length; `body` is what follows the length field.
struct Segment {
    unsigned marker = 0;
    std::size_t start = 0;  // of the 0xFF
    std::size_t end = 0;    // one past the segment
    std::string_view body;
};

// The segments before the first scan, in order; false when they run past the data.
template <typename Visit>
bool forEachHeaderSegment(std::string_view data, Visit&& visit) {
    std::size_t at = 2;
    while (at + 4 <= data.size() && byteAt(data, at) == 0xFF) {
        const unsigned marker = byteAt(data, at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const std::size_t length = big16(data, at + 2);
        if (length < 2 || at + 2 + length > data.size()) return false;
        const Segment segment{marker, at, at + 2 + length, data.substr(at + 4, length - 2)};
        if (!visit(segment) || marker == 0xDA) return true;
        at = segment.end;
    }
    return false;
}

bool isJfif(const Segment& s) { return s.marker == 0xE0 && s.body.substr(0, 5) == std::string_view("JFIF\0", 5); }
bool isJfifExtension(const Segment& s) {
    return s.marker == 0xE0 && s.body.substr(0, 5) == std::string_view("JFXX\0", 5);
}
bool isExif(const Segment& s) { return s.marker == 0xE1 && s.body.substr(0, 6) == std::string_view("Exif\0\0", 6); }

// Tag 0x0112 of the first image directory, in either byte order; 1 when it is not there.
int exifOrientation(std::string_view tiff) {
    if (tiff.size() < 8) return 1;
    const bool little = tiff.substr(0, 2) == "II";
    const auto u16 = [&](std::size_t at) -> unsigned {
        return little ? byteAt(tiff, at) | byteAt(tiff, at + 1) << 8 : big16(tiff, at);
    };
    const auto u32 = [&](std::size_t at) -> std::size_t {
        return little ? u16(at) | std::size_t{u16(at + 2)} << 16 : std::size_t{u16(at)} << 16 | u16(at + 2);
    };
    const std::size_t directory = u32(4);
    if (directory + 2 > tiff.size()) return 1;
    const unsigned entries = u16(directory);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + 12 * std::size_t{i};
        if (entry + 12 > tiff.size()) break;
        if (u16(entry) == 0x0112) {
            const unsigned value = u16(entry + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

void appendJfif(std::string& out, unsigned xDensity, unsigned yDensity) {
    const char fixed[] = {'\xFF', '\xE0', 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1};
    out.append(fixed, sizeof fixed);
    for (const unsigned density : {xDensity, yDensity}) {
        out.push_back(static_cast<char>(density >> 8 & 0xFF));
        out.push_back(static_cast<char>(density & 0xFF));
    }
    out.append(2, '\0');  // no thumbnail
}

// What a file's own JFIF density says in dots per inch; a bare aspect ratio gets the default.
std::pair<unsigned, unsigned> densityInDpi(const Segment& jfif) {
    const std::string_view b = jfif.body;
    if (b.size() < 12) return {kJfifDotsPerInch, kJfifDotsPerInch};
    const unsigned units = byteAt(b, 7), x = big16(b, 8), y = big16(b, 10);
    if (units == 1 && x > 0 && y > 0) return {x, y};
    if (units == 2 && x > 0 && y > 0)
        return {static_cast<unsigned>(std::lround(x * 2.54)), static_cast<unsigned>(std::lround(y * 2.54))};
    return {kJfifDotsPerInch, kJfifDotsPerInch};
}

}  // namespace

bool jpegTablesAreSafe(std::string_view data) {
    std::size_t at = 2;
    while (at + 2 <= data.size()) {
        if (byteAt(data, at) != 0xFF) return false;
        const unsigned marker = byteAt(data, at + 1);
        if (marker == 0xD9) return true;
        if (marker == 0xFF || isStandaloneMarker(marker)) {
            at += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (at + 4 > data.size()) return false;
        const std::size_t length = big16(data, at + 2);
        if (length < 2 || (marker == 0xC4 && !huffmanSegmentFits(data, at, length))) return false;
        at += 2 + length;
        if (marker == 0xDA) at = endOfScan(data, at);
    }
    return false;
}

JpegHeader readJpegHeader(std::string_view data) {
    JpegHeader header;
    bool first = true;
    forEachHeaderSegment(data, [&](const Segment& s) {
        if (first && isJfif(s)) {
            header.jfifFirst = true;
            header.densityInDpi = s.body.size() >= 12 && byteAt(s.body, 7) == 1;
        }
        first = false;
        if (isExif(s)) header.orientation = exifOrientation(s.body.substr(6));
        // Adobe's transform flag: 0 means RGB or CMYK, which a JFIF header would contradict.
        if (s.marker == 0xEE && s.body.substr(0, 5) == "Adobe" && s.body.size() >= 12)
            header.adobeTransformed = byteAt(s.body, 11) == 0;
        if (isFrameMarker(s.marker) && s.body.size() >= 6) header.components = static_cast<int>(byteAt(s.body, 5));
        return true;
    });
    return header;
}

bool canTakeJfif(const JpegHeader& header) {
    // Grey reads the same whatever an Adobe segment says.
    return header.orientation == 1 && (header.components == 1 || (header.components == 3 && !header.adobeTransformed));
}

std::optional<std::string> withJfifHeader(std::string_view data) {
    std::string out(data.substr(0, 2));
    std::pair<unsigned, unsigned> density{kJfifDotsPerInch, kJfifDotsPerInch};
    std::string kept;
    std::size_t rest = 2;
    const bool walked = forEachHeaderSegment(data, [&](const Segment& s) {
        if (s.marker < 0xE0 || s.marker > 0xEF) return false;  // the tables and frame stay as they are
        if (isJfif(s)) density = densityInDpi(s);
        if (!isJfif(s) && !isJfifExtension(s) && !isExif(s)) kept.append(data.substr(s.start, s.end - s.start));
        rest = s.end;
        return true;
    });
    if (!walked) return std::nullopt;
    appendJfif(out, density.first, density.second);
    out += kept;
    out.append(data.substr(rest));
    return out;
}

}  // namespace mobigen
