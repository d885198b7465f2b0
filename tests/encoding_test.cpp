#include "mobigen/encoding.h"
#include "mobigen/transcode.h"
#include "mobigen/utf8_codec.h"
#include "mobigen_test_support.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using mobigen::Diagnostics;

const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";           // 中文
const std::string kGbkChapter = "\xB5\xDA\xD2\xBB\xD5\xC2";   // 第一章

struct Result {
    std::string text;
    std::vector<std::string> warnings;
};

Result decode(const std::string& bytes) {
    Diagnostics diagnostics;
    Result r;
    r.text = mobigen::decodeHtmlToUtf8(bytes, diagnostics);
    r.warnings = diagnostics.warnings;
    return r;
}

std::string page(const std::string& head, const std::string& body) {
    return "<html><head>" + head + "</head><body>" + body + "</body></html>";
}

TEST(Encoding, ByteOrderMarksComeFirst) {
    // A BOM beats a contradicting declaration.
    const Result utf8 = decode("\xEF\xBB\xBF" + page("<meta charset=\"gbk\">", u8"中文"));
    EXPECT_EQ(utf8.text, page("<meta charset=\"gbk\">", u8"中文"));
    EXPECT_TRUE(utf8.warnings.empty());

    const Result le = decode(std::string("\xFF\xFE<\0p\0>\0\x2D\x4E\x3D\xD8\x00\xDE", 14));
    EXPECT_EQ(le.text, u8"<p>中" "\xF0\x9F\x98\x80");
    const Result be = decode(std::string("\xFE\xFF\0<\x4E\x2D\xD8\x3D", 8));
    EXPECT_EQ(be.text, u8"<中\uFFFD");
    ASSERT_EQ(be.warnings.size(), 1u);
    EXPECT_EQ(be.warnings[0].rfind("2 invalid bytes", 0), 0u) << be.warnings[0];
}

TEST(Encoding, DeclaredCharsets) {
    EXPECT_EQ(decode(page("<meta charset=\"GBK\">", kGbkChinese)).text, page("<meta charset=\"GBK\">", u8"中文"));
    const std::string httpEquiv = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gb2312\">";
    EXPECT_EQ(decode(page(httpEquiv, kGbkChapter)).text, page(httpEquiv, u8"第一章"));
    EXPECT_EQ(decode(page("<meta charset=big5>", "\xA4\xA4\xA4\xE5")).text, page("<meta charset=big5>", u8"中文"));
    EXPECT_EQ(decode(page("<meta charset='shift_jis'>", "\x93\xFA\x96\x7B")).text,
              page("<meta charset='shift_jis'>", u8"日本"));
    EXPECT_EQ(decode(page("<meta charset=windows-1252>", "caf\xE9 \x80")).text,
              page("<meta charset=windows-1252>", u8"café €"));
    EXPECT_EQ(decode(page("<meta charset=iso-8859-1>", "\xE9")).text, page("<meta charset=iso-8859-1>", u8"é"));
    EXPECT_EQ(decode(page("<meta charset=gb18030>", kGbkChinese)).text, page("<meta charset=gb18030>", u8"中文"));
    // A declaration after a long preface still counts: the whole file is searched.
    const std::string late = std::string(20000, ' ') + "<meta charset=\"gbk\">";
    EXPECT_EQ(decode(page(late, kGbkChinese)).text, page(late, u8"中文"));
}

TEST(Encoding, DeclaredUtf8WithBadBytesIsRepairedAndCounted) {
    const Result r = decode(page("<meta charset=utf-8>", u8"中" "\xFF\xFE" u8"文\xE4\xB8"));
    EXPECT_EQ(r.text, page("<meta charset=utf-8>", u8"中\uFFFD\uFFFD文\uFFFD"));
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].rfind("4 invalid bytes", 0), 0u) << r.warnings[0];
}

TEST(Encoding, UnknownCharsetWarnsAndFallsBackToDetection) {
    const Result r = decode(page("<meta charset=\"klingon-8\">", u8"中文"));
    EXPECT_EQ(r.text, page("<meta charset=\"klingon-8\">", u8"中文"));
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("klingon-8"), std::string::npos);
}

TEST(Encoding, UndeclaredTextIsUtf8WhenValidElseTheFallback) {
    const Result utf8 = decode(page("", u8"第一章 中文"));
    EXPECT_EQ(utf8.text, page("", u8"第一章 中文"));
    EXPECT_TRUE(utf8.warnings.empty());
    // The text-to-HTML form: no charset, 8 KB of ASCII first, then GBK; a sample would say UTF-8.
    const std::string preface = mobigen_test::repeat("Chapter text in plain ASCII.<br>", 300);
    const Result gbk = decode(page("<title></title>", preface + kGbkChapter + "<br>" + kGbkChinese + "<br>"));
    EXPECT_EQ(gbk.text, page("<title></title>", preface + u8"第一章<br>中文<br>"));
    EXPECT_TRUE(gbk.warnings.empty());
}

TEST(Encoding, InvalidBytesInTheFallbackAreCountedOnce) {
    // A lead byte before a space loses only itself; a lead byte at the very end is lost too.
    const std::string bytes = page("", kGbkChinese + "\x81 \x81 " + kGbkChinese + "\x81 ") + "\xB0";
    const Result r = decode(bytes);
    EXPECT_EQ(r.text, page("", u8"中文\uFFFD \uFFFD 中文\uFFFD ") + u8"\uFFFD");
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].rfind("4 invalid bytes", 0), 0u) << r.warnings[0];
}

TEST(Encoding, LargeGbkFileDecodesInLinearTime) {
    const std::string line = kGbkChapter + " " + mobigen_test::repeat(kGbkChinese, 20) + "<br>";
    const std::string bytes = page("<title></title>", mobigen_test::repeat(line, (8 << 20) / line.size()));
    const auto start = std::chrono::steady_clock::now();
    const Result r = decode(bytes);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_GT(r.text.size(), bytes.size());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 3000);
}

TEST(Utf8Codec, RepairsEveryMaximalInvalidSubpart) {
    struct Case { std::string in, out; std::size_t invalid; };
    const Case cases[] = {
        {"", "", 0},
        {"plain", "plain", 0},
        {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},          // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 3},  // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 4},  // above U+10FFFF
        {"a\xE4\xB8z", "a\xEF\xBF\xBDz", 2},                    // truncated, one replacement
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(mobigen::appendRepairedUtf8(c.in, out), c.invalid);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(mobigen::isValidUtf8(c.in), c.invalid == 0);
    }
}

}  // namespace
