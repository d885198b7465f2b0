#include "mobigen/outline/chapters.h"
#include "mobigen/outline/text_page.h"
#include "mobigen/book/book_readers.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

using namespace mobigen;
using test_support::repeat;

namespace {
Book readText(const std::string& body, const char* title = "", const char* fallback = "t") {
    Diagnostics diagnostics;
    return readHtmlBook(std::string("<html><head><title>") + title + "</title></head><body>" + body + "</body></html>",
                        fallback, diagnostics);
}
}  // namespace

TEST(ChapterHeadings, RecognisesHeadingsAndTheirLevel) {
    // Headings split at '|', which none contains.
    std::istringstream chapters(
        u8"第12章 风起|第一百零五章|　　第二章：重逢|楔子|序章|序|尾声|"
        u8"番外一 小剧场|第１２章　新的开始|第十章 你好吗？|第 12 章 标题|"
        u8"第一章风起云涌|第一○○回 史太君破陈腐旧套|第一〇一回|"
        u8"第一百零一章|第两百回|第１２章|第十七回至十八回 大观园试才题对额|"
        u8"第十七至十八回 皇恩重元妃省父母|第三节至第四节|第三节|Chapter 7|"
        u8"CHAPTER XII|Chapter One: The Start|CHAPTER I. Loomings.|Prologue|EPILOGUE|Prologue: Before|"
        u8"第一回 宴桃园豪杰三结义　斩黄巾英雄首立功");
    for (std::string line; std::getline(chapters, line, '|');)
        EXPECT_EQ(detectChapterHeading(line), HeadingLevel::Chapter) << line;
    for (const char* line : {u8"第三卷", u8"第二部 下", u8"第三卷 风云", "PART II"})
        EXPECT_EQ(detectChapterHeading(line), HeadingLevel::Volume) << line;
}

TEST(ChapterHeadings, LeavesProseAlone) {
    for (const char* line :
         {u8"第一次见到他的时候，我……", u8"第二天早上，他起得很早。", u8"序列号是多少", u8"楔子是什么东西",
          u8"第一章的内容，我们下回再说", u8"第一", u8"第一节课就迟到了", u8"第一部分内容", u8"他说：第三章写得很好。",
          u8"第四回中既将薛家母子在荣府内寄居等事略已表明，此回则暂不能写矣。",
          u8"第四回中既将薛家母子…此回则暂不能写矣。",
          u8"第一章 这是一行非常非常长的标题文字它已经超过了四十个字符的限制所以不应该被当作标题来处理",
          "Chapter 7, in which we learn something", "chapter 7", "Chapters of my life",
          "Chapter 7 was the best part of the whole book I have ever read", "Prologues", "Part of it", ""}) {
        EXPECT_FALSE(detectChapterHeading(line).has_value()) << line;
    }
}

TEST(TextDerivedHtml, RecognisesOnlyTheProgramsOwnForm) {
    const auto doc = matchTextDerivedHtml("<html><head><title>T</title></head><body>a<br>x<y<br></body></html>");
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->title, "T");
    EXPECT_EQ(doc->body, "a<br>x<y<br>");
    EXPECT_TRUE(matchTextDerivedHtml("<html><head><title></title></head><body></body></html>").has_value());
    for (const char* html : {"<html><head><title>T</title></head><body><p>a</p><br></body></html>",
                             "<html><head><title>T</title></head><body>no break</body></html>",
                             "<!DOCTYPE html><html><head><title>T</title></head><body>a<br></body></html>"})
        EXPECT_FALSE(matchTextDerivedHtml(html)) << html;
}

TEST(TextDerivedHtml, HeadingsBecomeChaptersWithAContentsPageAndTheTextIsUnchanged) {
    const Book book = readText(
        u8"书名<br>　　第一章 开始<br>x<y & z &amp;<br><br>第一次见到他的时候，我……<br>"
        u8"第二章 结束<br>完<br>",
        "", u8"小说");
    EXPECT_EQ(book.metadata.title, u8"小说");
    const std::string& f = book.flow;
    ASSERT_EQ(book.toc.size(), 2u);
    EXPECT_EQ(book.toc[0].title, u8"第一章 开始");
    EXPECT_EQ(f.substr(book.toc[0].filepos, std::string(u8"<h2>　　第一章 开始</h2>").size()),
              u8"<h2>　　第一章 开始</h2>");
    EXPECT_EQ(f.substr(book.toc[1].filepos, 4), "<h2>");
    for (const char* part : {u8"x&lt;y &amp; z &amp;amp;<br><br>第一次见到他的时候，我……<br>", u8"<h2>目录</h2>",
                             "type=\"toc\"", u8"<mbp:pagebreak/><h2>第二章 结束</h2>"})
        EXPECT_NE(f.find(part), std::string::npos) << part;
    EXPECT_EQ(f.find('\0'), std::string::npos);
}

TEST(TextDerivedHtml, VolumesNestTheirChapters) {
    const Book book = readText(u8"楔子<br>第一卷 起<br>第一章 甲<br>第二卷 承<br>第二章 乙<br>", "T", "fallback");
    EXPECT_EQ(book.metadata.title, "T");
    std::vector<int> depths;
    for (const auto& e : book.toc) depths.push_back(e.depth);
    EXPECT_EQ(depths, (std::vector<int>{0, 0, 1, 0, 1}));
    EXPECT_NE(book.flow.find(u8"<h1>第一卷 起</h1>"), std::string::npos);
}

TEST(TextDerivedHtml, EightMegabytesReadInLinearTime) {
    const std::string prose =
        repeat(u8"　　他走进房间，看见桌上放着一封信。信上写着：第一次见面的时候，请不要迟到。<br>", 60);
    std::string body;
    std::size_t chapters = 0;
    while (body.size() < (8u << 20)) body += u8"第" + std::to_string(++chapters) + u8"章 标题<br>" + prose;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(readText(body).toc.size(), chapters);
    // Well under a second in an optimised build; a quadratic scan would take minutes, so sanitizers,
    // Wine and a loaded machine get ample slack.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
}

TEST(TextDerivedHtml, LanguageAndContentsTitleFollowTheTextAndTheByteOrderMarkGoes) {
    struct Case {
        std::string body, language, contents;
    };
    const Case cases[] = {
        {u8"\uFEFF第一章 开始<br>这是我们的书。<br>", "zh", u8"目录"},
        {u8"第一章 開始<br>這是我們的書。<br>", "zh-TW", u8"目錄"},
        {u8"第一章 始まり<br>これは私たちの本です。<br>", "ja", u8"目次"},
        {u8"\uFEFFChapter 1<br>Mr Wang (王) came home late.<br>", "", "Contents"},
    };
    for (const Case& c : cases) {
        const Book book = readText(c.body);
        EXPECT_EQ(book.metadata.language, c.language) << c.body;
        EXPECT_NE(book.flow.find("<h2>" + c.contents + "</h2>"), std::string::npos) << c.body;
        EXPECT_EQ(book.flow.find(u8"\uFEFF"), std::string::npos) << c.body;
        ASSERT_EQ(book.toc.size(), 1u) << c.body;
        EXPECT_EQ(book.toc[0].title.find(u8"\uFEFF"), std::string::npos) << c.body;
    }
}
