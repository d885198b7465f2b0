// libmobi is the strict reader: what its tool reads back proves the records and headers, so
// no field is checked here byte by byte.
#include "mobigen/kf8/writer.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

namespace {

using namespace test_support;
using mobigen::Book;
using mobigen::Compression;

// The writer stores images as they are; only their signatures matter to readers.
const std::string kGif = "GIF89a-gif";
const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + "png";

// Enough chapters for the TOC index to span several records, and one past the end of the text.
// The title is too long for the PalmDB name field.
Book sampleBook() {
    Book book;
    book.metadata.title = u8"三国演义 Romance of the Three Kingdoms: Part 1/2";
    book.metadata.authors = {u8"罗贯中", "Anonymous"};
    book.metadata.language = "zh-CN";
    book.metadata.subjects = {"History", "Novel"};
    book.flow = "<html><head><guide></guide></head><body>";
    book.startOffset = static_cast<std::uint32_t>(book.flow.size());
    for (int i = 0; i < 6000; ++i) {
        const std::string chapter =
            u8"<h2>第" + std::to_string(i) + u8"章 桃园</h2><p>天下大势，分久必合。It was the best of times.</p>";
        book.toc.push_back({u8"第" + std::to_string(i) + u8"章 桃园", static_cast<std::uint32_t>(book.flow.size()), 0});
        book.flow += chapter;
    }
    book.toc.push_back({"Past the end", 1u << 30, 0});
    book.flow += "<img recindex=\"00001\"></body></html>";
    book.images = {{kGif}, {kPng}};
    book.coverImage = 1;
    book.thumbnailImage = 0;
    return book;
}

class MobitoolCheck : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveMobitool()) GTEST_SKIP() << "mobitool (libmobi-tools) is not installed";
    }
    // Writes the book, has mobitool read it with `options` and returns what it printed.
    std::string readBack(const Book& book, Compression compression, const std::string& options) {
        mobigen::Diagnostics diagnostics;
        writeFile(folder / "book.mobi", mobigen::writeBook(book, compression, mobigen::OutputKind::Mobi6, diagnostics));
        const std::string log = folder / "mobitool.log";
        const int status =
            runCommand("mobitool " + options + " -o \"" + folder.path() + "\" \"" + (folder / "book.mobi") + "\"", log);
        EXPECT_EQ(status, 0) << readFile(log);
        return readFile(log);
    }
    TempFolder folder;
};

TEST_F(MobitoolCheck, TextMetadataCoverAndTocAndABareBook) {
    const Book book = sampleBook();
    for (Compression compression : {Compression::None, Compression::PalmDoc}) {
        readBack(book, compression, "-d");
        EXPECT_EQ(readFile(folder / "book.rawml"), book.flow);
    }
    const std::string info = readBack(book, Compression::PalmDoc, "-i -c");
    // The full name record 0 points at, start offset (116), cover offset (201), the metadata.
    for (const char* expected :
         {u8"Full name: 三国演义 Romance of the Three Kingdoms: Part 1/2\n", u8"罗贯中", "Anonymous", "History",
          "Novel", "locale: zh-cn", "(524): zh-CN", "(116): 40\n", "(201): 1\n", "(202): 0\n"})
        EXPECT_NE(info.find(expected), std::string::npos) << expected << " in\n" << info;
    EXPECT_EQ(readFile(folder / "book_cover.png"), kPng);

    readBack(book, Compression::PalmDoc, "-e");
    runCommand("unzip -p \"" + (folder / "book.epub") + "\" '*.ncx'", folder / "toc.ncx");
    const std::string ncx = readFile(folder / "toc.ncx");
    // libmobi takes every title from the first CNCX record; the others are checked in process.
    EXPECT_NE(ncx.find(u8"第0章 桃园"), std::string::npos);
    std::size_t entries = 0;
    for (std::size_t at = ncx.find("<navPoint"); at != std::string::npos; at = ncx.find("<navPoint", at + 1)) ++entries;
    EXPECT_EQ(entries, book.toc.size());

    Book bare;  // a bare book whose title is not UTF-8
    bare.metadata.title = "Bad \xFF title";
    bare.flow = "<html><body>x</body></html>";
    EXPECT_NE(readBack(bare, Compression::None, "-d").find("Bad \xEF\xBF\xBD title"), std::string::npos);
    EXPECT_EQ(readFile(folder / "book.rawml"), bare.flow);
}

}  // namespace
