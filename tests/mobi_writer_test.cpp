#include "mobigen/mobi_records.h"
#include "mobigen/mobi_writer.h"
#include "mobigen_test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace mobigen_test;
using mobigen::Book;
using mobigen::Compression;

const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x21\xF9\x04\x01\x00\x00\x00\x00"
    "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B", 43);
const std::string kPng(
    "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08"
    "\x06\x00\x00\x00\x1F\x15\xC4\x89\x00\x00\x00\x0B\x49\x44\x41\x54\x78\x9C\x63\x60\x00\x02\x00\x00\x05"
    "\x00\x01\x7A\x5E\xAB\x3F\x00\x00\x00\x00\x49\x45\x4E\x44\xAE\x42\x60\x82", 68);

struct PalmDb {
    std::vector<std::string> records;
};

PalmDb parse(const std::string& file) {
    PalmDb db;
    const std::size_t count = be16(file, 76);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t start = be32(file, 78 + 8 * i);
        const std::size_t end = i + 1 < count ? be32(file, 78 + 8 * (i + 1)) : file.size();
        EXPECT_LT(start, end) << "record " << i;
        db.records.push_back(file.substr(start, end - start));
    }
    return db;
}

std::multimap<std::uint32_t, std::string> exthOf(const std::string& record0) {
    std::multimap<std::uint32_t, std::string> exth;
    std::size_t at = 16 + be32(record0, 20);
    EXPECT_EQ(record0.substr(at, 4), "EXTH");
    const std::uint32_t count = be32(record0, at + 8);
    at += 12;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t size = be32(record0, at + 4);
        exth.emplace(be32(record0, at), record0.substr(at + 8, size - 8));
        at += size;
    }
    return exth;
}

std::string chineseFlow(std::size_t paragraphs) {
    std::string body;
    for (std::size_t i = 0; i < paragraphs; ++i)
        body += u8"<p>第" + std::to_string(i) + u8"段：天下大势，分久必合，合久必分。It was the best of times.</p>";
    return "<html><head><guide></guide></head><body>" + body + "<img recindex=\"00001\"></body></html>";
}

Book sampleBook() {
    Book book;
    book.metadata.title = u8"三国演义 Romance";
    book.metadata.authors = {u8"罗贯中", "Anonymous"};
    book.metadata.language = "zh-CN";
    book.metadata.publisher = "Press";
    book.metadata.subjects = {"History", "Novel"};
    book.flow = chineseFlow(200);
    book.images = {{kGif}, {kPng}};
    book.coverImage = 1;
    book.startOffset = 40;
    const std::uint32_t third = static_cast<std::uint32_t>(book.flow.size() / 3);
    book.toc = {{u8"第一章 桃园", 40, third - 40, 0}, {u8"第二章 Chapter", third, third, 0},
                {"Three", 2 * third, third, 0}};
    return book;
}

TEST(MobiWriter, LaysOutRecordsAndHeaders) {
    const Book book = sampleBook();
    const std::string file = mobigen::writeMobi(book, Compression::PalmDoc);
    EXPECT_EQ(file.substr(60, 8), "BOOKMOBI");
    const PalmDb db = parse(file);
    const std::size_t textRecords = (book.flow.size() + 4095) / 4096;
    // record 0, text, meta/data INDX + CNCX, two images, FLIS, FCIS, EOF
    ASSERT_EQ(db.records.size(), 1 + textRecords + 3 + 2 + 3);
    const std::string& r0 = db.records[0];
    EXPECT_EQ(be16(r0, 0), 2);
    EXPECT_EQ(be32(r0, 4), book.flow.size());
    EXPECT_EQ(be16(r0, 8), textRecords);
    EXPECT_EQ(r0.substr(16, 4), "MOBI");
    EXPECT_EQ(be32(r0, 20), 232u);
    EXPECT_EQ(be32(r0, 28), 65001u);
    EXPECT_EQ(be32(r0, 92), 0x804u);
    const std::size_t ncx = 1 + textRecords;
    EXPECT_EQ(be32(r0, 244), ncx);
    EXPECT_EQ(db.records[ncx].substr(0, 4), "INDX");
    EXPECT_EQ(be32(r0, 108), ncx + 3);
    EXPECT_EQ(db.records[ncx + 3], kGif);
    EXPECT_EQ(db.records[ncx + 4], kPng);
    EXPECT_EQ(db.records[be32(r0, 208)].substr(0, 4), "FLIS");
    EXPECT_EQ(db.records[be32(r0, 200)].substr(0, 4), "FCIS");
    EXPECT_EQ(db.records.back(), "\xE9\x8E\r\n");
    EXPECT_EQ(be16(r0, 242), 1);
    EXPECT_EQ(r0.size() % 4, 0u);
    EXPECT_EQ(r0.substr(be32(r0, 84), be32(r0, 88)), book.metadata.title);

    const auto exth = exthOf(r0);
    EXPECT_EQ(exth.count(100), 2u);
    EXPECT_EQ(exth.count(105), 2u);
    EXPECT_EQ(exth.find(503)->second, book.metadata.title);
    EXPECT_EQ(exth.find(524)->second, "zh-CN");
    EXPECT_EQ(exth.find(501)->second, "EBOK");
    EXPECT_EQ(be32(exth.find(201)->second, 0), 1u);
    EXPECT_EQ(be32(exth.find(116)->second, 0), 40u);
    EXPECT_EQ(exth.count(121) + exth.count(129), 0u);
}

TEST(MobiWriter, BareBookHasNoIndexOrImagesAndRepairsMetadata) {
    Book book;
    book.metadata.title = "Bad \xFF title";
    book.flow = "<html><body>x</body></html>";
    const PalmDb db = parse(mobigen::writeMobi(book, Compression::None));
    ASSERT_EQ(db.records.size(), 1u + 1 + 3);
    const std::string& r0 = db.records[0];
    EXPECT_EQ(be16(r0, 0), 1);
    EXPECT_EQ(be32(r0, 108), 0xFFFFFFFFu);
    EXPECT_EQ(be32(r0, 244), 0xFFFFFFFFu);
    EXPECT_EQ(exthOf(r0).find(503)->second, "Bad \xEF\xBF\xBD title");
    EXPECT_EQ(db.records[1], book.flow + '\0');
}

TEST(MobiWriter, LocaleFromLanguageTag) {
    EXPECT_EQ(mobigen::localeFromLanguage("en"), 0x09u);
    EXPECT_EQ(mobigen::localeFromLanguage("en-US"), 0x409u);
    EXPECT_EQ(mobigen::localeFromLanguage("zh_TW"), 0x404u);
    EXPECT_EQ(mobigen::localeFromLanguage("DE"), 0x07u);
    EXPECT_EQ(mobigen::localeFromLanguage("xx"), 0u);
    EXPECT_EQ(mobigen::localeFromLanguage(""), 0u);
    EXPECT_EQ(mobigen::palmDbName(u8"三国 演义: Part 1/2 and a very long tail indeed"), "_Part_1_2_and_a_very_long_tail_");
    EXPECT_EQ(mobigen::palmDbName(u8"三国"), "Book");
}

// libmobi is the strict reader; its tool must read what we write, text and all.
class MobitoolCheck : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveMobitool()) GTEST_SKIP() << "mobitool (libmobi-tools) is not installed";
    }
    std::string mobitool(const std::string& options, const fs::path& book) {
        const fs::path log = folder / "mobitool.log";
        const int status = runCommand("mobitool " + options + " -o \"" + folder.path().string() + "\" \"" +
                                          book.string() + "\"", log);
        EXPECT_EQ(status, 0) << readFile(log);
        return readFile(log);
    }
    fs::path write(const Book& book, Compression compression, const std::string& name = "book.mobi") {
        const fs::path path = folder / name;
        writeFile(path, mobigen::writeMobi(book, compression));
        return path;
    }
    TempFolder folder;
};

TEST_F(MobitoolCheck, TextMetadataCoverAndToc) {
    const Book book = sampleBook();
    for (Compression compression : {Compression::PalmDoc, Compression::None}) {
        const fs::path path = write(book, compression);
        mobitool("-d", path);
        EXPECT_EQ(readFile(folder / "book.rawml"), book.flow);
    }
    const std::string summary = mobitool("", folder / "book.mobi");
    EXPECT_NE(summary.find(u8"三国演义 Romance"), std::string::npos) << summary;
    EXPECT_NE(summary.find(u8"罗贯中"), std::string::npos) << summary;
    EXPECT_NE(summary.find("zh"), std::string::npos) << summary;
    mobitool("-m", folder / "book.mobi");
    mobitool("-c", folder / "book.mobi");
    EXPECT_EQ(readFile(folder / "book_cover.png"), kPng);
    mobitool("-e", folder / "book.mobi");
    ASSERT_TRUE(fs::exists(folder / "book.epub"));
    runCommand("unzip -p \"" + (folder / "book.epub").string() + "\" '*.ncx'", folder / "toc.ncx");
    const std::string ncx = readFile(folder / "toc.ncx");
    EXPECT_NE(ncx.find(u8"第一章 桃园"), std::string::npos) << ncx;
    EXPECT_NE(ncx.find("Three"), std::string::npos) << ncx;
}

TEST_F(MobitoolCheck, LongTocSpansSeveralIndexRecords) {
    Book book;
    book.metadata.title = "Many chapters";
    book.flow = "<html><body>" + repeat(u8"<h2>第章</h2><p>短文。</p>", 6000) + "</body></html>";
    const std::uint32_t piece = sizeof(u8"<h2>第章</h2><p>短文。</p>") - 1;
    for (std::uint32_t i = 0; i < 6000; ++i)
        book.toc.push_back({u8"第" + std::to_string(i) + u8"章 标题", 12 + piece * i, piece, 0});
    book.toc.push_back({"Past the end", 1u << 30, 100, 0});
    const fs::path path = write(book, Compression::PalmDoc);
    const PalmDb db = parse(readFile(path));
    EXPECT_GT(be32(db.records[be32(db.records[0], 244)], 24), 1u) << "expected several data records";
    mobitool("-e", path);
    runCommand("unzip -p \"" + (folder / "book.epub").string() + "\" '*.ncx'", folder / "toc.ncx");
    const std::string ncx = readFile(folder / "toc.ncx");
    EXPECT_NE(ncx.find(u8"第5999章 标题"), std::string::npos);
    EXPECT_NE(ncx.find(u8"第0章 标题"), std::string::npos);
}

}  // namespace
