#include "mobigen/text/encoding.h"
#include "platform/utf8.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using test_support::repeat;

const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";          // 中文
const std::string kGbkChapter = "\xB5\xDA\xD2\xBB\xD5\xC2";  // 第一章
const std::string kGbkMeta = "<meta charset=\"gbk\">";
// 話說天下大勢，分久必合，合久必分。 in Big5 and in GBK, and a Big5 heading.
const std::string kBig5Sentence =
    "\xB8\xDC\xBB\xA1\xA4\xD1\xA4\x55\xA4\x6A\xB6\xD5\xA1\x41\xA4\xC0\xA4\x5B\xA5\xB2\xA6\x58\xA1\x41\xA6\x58"
    "\xA4\x5B\xA5\xB2\xA4\xC0\xA1\x43";
const std::string kGbkTraditional =
    "\xD4\x92\xD5\x66\xCC\xEC\xCF\xC2\xB4\xF3\x84\xDD\xA3\xAC\xB7\xD6\xBE\xC3\xB1\xD8\xBA\xCF\xA3\xAC\xBA\xCF"
    "\xBE\xC3\xB1\xD8\xB7\xD6\xA1\xA3";
const std::string kBig5Heading =
    "\xB2\xC4\xA4\x40\xA6\x5E\x20\xAE\x62\xAE\xE7\xB6\xE9\xBB\xA8\xB3\xC7\xA4\x54\xB5\xB2\xB8\x71";

std::string page(const std::string& head, const std::string& body) {
    return "<html><head>" + head + "</head><body>" + body + "</body></html>";
}

TEST(Encoding, ByteOrderMarkThenDeclarationThenUtf8ThenTheFallback) {
    const std::string httpEquiv = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gb2312\">";
    const std::string late = std::string(20000, ' ') + kGbkMeta;  // the whole file is searched
    // The text-to-HTML form: no charset, 8 KB of ASCII first, then GBK; a sample would say UTF-8.
    const std::string preface = repeat("Chapter text in plain ASCII.<br>", 300);
    struct Case {
        std::string bytes, utf8, warning;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF" + page(kGbkMeta, u8"中文"), page(kGbkMeta, u8"中文"), ""},
        {std::string("\xFF\xFE<\0p\0>\0\x2D\x4E\x3D\xD8\x00\xDE", 14), u8"<p>中\U0001F600", ""},
        {std::string("\xFE\xFF\0<\x4E\x2D\xD8\x3D", 8), u8"<中\uFFFD", "2 invalid bytes"},
        {page(kGbkMeta, kGbkChinese), page(kGbkMeta, u8"中文"), ""},
        {page(httpEquiv, kGbkChapter), page(httpEquiv, u8"第一章"), ""},
        {page(late, kGbkChinese), page(late, u8"中文"), ""},
        {page("<meta charset=big5>", "\xA4\xA4\xA4\xE5"), page("<meta charset=big5>", u8"中文"), ""},
        {page("<meta charset='shift_jis'>", "\x93\xFA\x96\x7B"), page("<meta charset='shift_jis'>", u8"日本"), ""},
        {page("<meta charset=windows-1252>", "caf\xE9 \x80"), page("<meta charset=windows-1252>", u8"café €"), ""},
        {page("<meta charset=utf-8>", u8"中\xFF\xFE文\xE4\xB8"),
         page("<meta charset=utf-8>", u8"中\uFFFD\uFFFD文\uFFFD"), "4 invalid bytes"},
        {page("<meta charset=klingon-8>", u8"中文"), page("<meta charset=klingon-8>", u8"中文"), "klingon-8"},
        {page("", u8"第一章 中文"), page("", u8"第一章 中文"), ""},
        {page("", preface + kGbkChapter + "<br>" + kGbkChinese), page("", preface + u8"第一章<br>中文"), ""},
        // Undeclared Chinese is read as GBK or Big5, whichever lands on frequent characters.
        {page("", kBig5Sentence), page("", u8"話說天下大勢，分久必合，合久必分。"), ""},
        {page("", kBig5Heading + "<br>"), page("", u8"第一回 宴桃園豪傑三結義<br>"), ""},
        {page("", kGbkTraditional), page("", u8"話說天下大勢，分久必合，合久必分。"), ""},
        {page("", kGbkChinese + kGbkTraditional), page("", u8"中文話說天下大勢，分久必合，合久必分。"), ""},
        // A lead byte before a space loses only itself; one at the very end is lost too.
        {page("", kGbkChinese + "\x81 \x81 " + kGbkChinese) + "\xB0", page("", u8"中文\uFFFD \uFFFD 中文") + u8"\uFFFD",
         "3 invalid bytes"},
    };
    for (const Case& c : cases) {
        mobigen::Diagnostics diagnostics;
        EXPECT_EQ(mobigen::decodeHtmlToUtf8(c.bytes, diagnostics), c.utf8);
        if (c.warning.empty()) {
            EXPECT_TRUE(diagnostics.warnings.empty()) << c.utf8;
        } else {
            ASSERT_EQ(diagnostics.warnings.size(), 1u) << c.utf8;
            EXPECT_NE(diagnostics.warnings[0].find(c.warning), std::string::npos) << diagnostics.warnings[0];
        }
    }
}

TEST(Encoding, EightMegabytesOfGbkDecodeInLinearTime) {
    const std::string line = kGbkChapter + " " + repeat(kGbkChinese, 20) + "<br>";
    const std::string bytes = page("<title></title>", repeat(line, (8 << 20) / line.size()));
    mobigen::Diagnostics diagnostics;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_GT(mobigen::decodeHtmlToUtf8(bytes, diagnostics).size(), bytes.size());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(diagnostics.warnings.empty());
}

TEST(Utf8Codec, RepairsEveryMaximalInvalidSubpart) {
    struct Case {
        std::string in, out;
        std::size_t invalid;
    };
    const Case cases[] = {
        {"\xC0\x80", u8"\uFFFD\uFFFD", 2},                      // overlong
        {"\xED\xA0\x80", u8"\uFFFD\uFFFD\uFFFD", 3},            // surrogate
        {"\xF4\x90\x80\x80", u8"\uFFFD\uFFFD\uFFFD\uFFFD", 4},  // above U+10FFFF
        {"a\xE4\xB8z", u8"a\uFFFDz", 2},                        // truncated: one replacement
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(platform::appendRepairedUtf8(c.in, out), c.invalid);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(platform::isValidUtf8(c.in), c.invalid == 0);
    }
}

}  // namespace
