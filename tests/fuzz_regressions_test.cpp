// Each case is an input that once crashed a fuzz target (fuzz/), cut down to what matters.

#include "mobigen/flow/image_fit.h"
#include "mobigen/read/book_readers.h"
#include "tests/support/books.h"
#include "tests/support/checks.h"

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

std::string littleEndian32(std::uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift & 0xFF);
    return bytes;
}

// stb 2.27 decodes a BMP 0 rows high; scaling its 1601 columns divided by the height and
// made a JPEG from rows that are not there, smaller than the padded file.
TEST(FuzzRegressions, BmpWithoutRowsIsKeptUnscaled) {
    const std::string pixels(4000, '\0');
    const std::string bmp = "BM" + littleEndian32(54 + 4000) + littleEndian32(0) + littleEndian32(54) +
                            littleEndian32(40) + littleEndian32(1601) + littleEndian32(0) +
                            std::string("\x01\x00\x18\x00", 4) + std::string(24, '\0') + pixels;
    EXPECT_FALSE(mobigen::fitImage(bmp).smaller);
}

// The NCX was parsed as raw bytes, so a title in another encoding put invalid UTF-8 into the
// contents page and the index of a book that declares UTF-8.
TEST(FuzzRegressions, NcxTitleThatIsNotUtf8IsDecoded) {
    const std::string book = test_support::buildZip({
        {"META-INF/container.xml",
         "<container><rootfiles><rootfile full-path=\"OEBPS/package.opf\"/></rootfiles></container>",
         true,
         {}},
        {"OEBPS/package.opf",
         "<package><manifest><item href=\"toc.ncx\" id=\"ncx\"/><item href=\"1.xhtml\" id=\"c1\"/></manifest>"
         "<spine toc=\"ncx\"><itemref idref=\"c1\"/></spine></package>",
         true,
         {}},
        {"OEBPS/toc.ncx",
         "<ncx><navMap><navPoint><navLabel><text>\xB5\xDA\xD2\xBB\xD5\xC2 \x8B</text></navLabel>"
         "<content src=\"1.xhtml\"/></navPoint></navMap></ncx>",
         true,
         {}},
        {"OEBPS/1.xhtml", "<html><body><p>text</p></body></html>", true, {}},
    });
    mobigen::Diagnostics diagnostics;
    const mobigen::Book read = mobigen::readEpubBook(book, "Book", diagnostics);
    ASSERT_EQ(read.toc.size(), 1u);
    EXPECT_TRUE(test_support::isStrictUtf8(read.toc[0].title));
    EXPECT_TRUE(test_support::isStrictUtf8(read.flow));
}

}  // namespace
