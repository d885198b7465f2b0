#include "mobigen/outline/chapters.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/outline/text_page.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

using namespace mobigen;
using test_support::repeat;

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
