// Each case is an input that once crashed a fuzz target (fuzz/), cut down to what matters.

#include "mobigen/image_fit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bigEndian16(unsigned value) { return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}; }

// A DHT segment whose one table declares 16 x 255 codes; stb_image 2.27 has room for 256.
std::string oversizedHuffmanTable() {
    return "\xFF\xC4" + bigEndian16(2 + 17) + std::string(1, '\0') + std::string(16, '\xFF');
}

// A baseline frame header, one grey component.
std::string frameHeader(unsigned width, unsigned height) {
    return "\xFF\xC0" + bigEndian16(11) + "\x08" + bigEndian16(height) + bigEndian16(width) + "\x01\x01\x11" +
           std::string(1, '\0');
}

const std::string kStart = "\xFF\xD8";
const std::string kEnd = "\xFF\xD9";

// stb_image 2.27 wrote past its tables; the sanitizer build stopped on it, others corrupted memory.
TEST(FuzzRegressions, JpegHuffmanTableWithMoreThan256CodesIsKeptUndecoded) {
    // Before the frame, stb's header probe reads the table; after a wide frame, only the decoder does.
    const std::string beforeFrame = kStart + oversizedHuffmanTable() + frameHeader(16, 16) + kEnd;
    const std::string afterWideFrame = kStart + frameHeader(2000, 10) + oversizedHuffmanTable() + kEnd;
    const std::string secondTableOfSegment = kStart + frameHeader(2000, 10) + "\xFF\xC4" + bigEndian16(2 + 18 + 17) +
                                             std::string(1, '\0') + std::string(15, '\0') + "\x01" + "\x05" +
                                             std::string(1, '\x10') + std::string(16, '\x20') + kEnd;
    for (const std::string& jpeg : {beforeFrame, afterWideFrame, secondTableOfSegment}) {
        const mobigen::FittedImage fitted = mobigen::fitImage(jpeg);
        EXPECT_FALSE(fitted.smaller);
    }
}

}  // namespace
