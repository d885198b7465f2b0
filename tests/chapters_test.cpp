#include "mobigen/outline/chapters.h"

#include <gtest/gtest.h>

using namespace mobigen;

// A case a line: [ ] marks where a chapter heading stands in it, { } a volume's; prose has neither.
const char* const kHeadingLines[] = {
    u8"[第12章 风起]", u8"[第一百零五章]", u8"　　[第二章：重逢]", u8"[楔子]", u8"[序章]", u8"[序]", u8"[尾声]",
    u8"[番外一 小剧场]", u8"[第１２章　新的开始]", u8"[第十章 你好吗？]", u8"[第 12 章 标题]", u8"[第一章风起云涌]",
    u8"[第一○○回 史太君破陈腐旧套]", u8"[第一〇一回]", u8"[第两百回]", u8"[第十七回至十八回 大观园试才题对额]",
    u8"[第十七至十八回 皇恩重元妃省父母]", u8"[第三节至第四节]", u8"[第2345章 山雨欲来]", u8"[第123章 风起，云涌]",
    u8"[第十章 再见……]", u8"[第一迴 靈根育孕源流出　心性修持大道生]詩曰：混沌未分天地亂，", u8"目錄 [第兩百節]",
    u8"[一、初到上海]", "[Chapter 7]", "[CHAPTER XII]", "[Chapter One: The Start]", "[CHAPTER I. Loomings.]",
    "[Chapter 29. Enter Ahab; to Him, Stubb.]", "[Prologue]", "[EPILOGUE]", "[Prologue: Before]", u8"{第三卷}",
    u8"{第二部 下}", u8"{第三卷 风云}", "{PART II}", "{Book Two}", u8"{卷一 初入江湖}", u8"{卷之三}", u8"{上部}",
    u8"{下卷 归来}", u8"{第一篇 总论}", u8"{卷首}",
    // Site prefixes, indentation, and a first sentence run into the heading's line.
    u8"正文 [第一回 宴桃园豪杰三结义 斩黄巾英雄首立功]", u8"《》目录 [第一回　灵根育孕源流出　心性修持大道生]",
    u8"章节目录 [第一章 开始]", u8"《三国演义》 [第二回 张翼德怒鞭督邮 何国舅谋诛宦竖]", u8"》目录[第三回]",
    u8"\t  　[第一章 开始]　", u8"正文卷 {第一卷 潜龙}", u8"[第一卷 潜龙 第一章 少年]", u8"[【第一章】风起]",
    u8"[第一回 西门庆热结十弟兄武二郎冷遇亲哥嫂]诗曰：豪华去后行人绝，箫筝不响歌喉咽。",
    u8"[第一回 宴桃园豪杰三结义 斩黄巾英雄首立功] 滚滚长江东逝水，浪花淘尽英雄。", u8"[第一章 风起] 他说：走吧。",
    // Prose.
    u8"第一次见到他的时候，我……", u8"第二天早上，他起得很早。", u8"序列号是多少", u8"楔子是什么东西",
    u8"第一章的内容，我们下回再说", u8"第一", u8"第一节课就迟到了", u8"第一部分内容", u8"他说：第三章写得很好。",
    u8"第四回中既将薛家母子在荣府内寄居等事略已表明，此回则暂不能写矣。", u8"第四回中既将薛家母子…此回则暂不能写矣。",
    u8"第一章 这是一行非常非常长的标题文字它已经超过了四十个字符的限制所以不应该被当作标题来处理", u8"此开卷第一回也。",
    u8"第一次见面他就说，以后再也不来了……", u8"《红楼梦》第三回写得很好。", u8"上部分已经说过了。",
    u8"卷一卷铺盖就走了", u8"一、坚持原则，不要动摇。", u8"一、二、三！", u8"第二回合，他又输了。",
    u8"第二回见面时他说……", u8"目录", u8"正文", u8"【", u8"第一至二", u8"“第一章写完了吗？”他问。",
    u8"第三集我还没看。", "Chapter 7, in which we learn something", "chapter 7", "Chapters of my life",
    "Chapter 7 was the best part of the whole book I have ever read", "Prologues", "Part of it", ""};

TEST(ChapterHeadings, FindEachFormAndLeaveProseAlone) {
    for (const std::string marked : kHeadingLines) {
        const std::size_t open = marked.find_first_of("[{"), close = marked.find_first_of("]}");
        const std::string heading = open == std::string::npos ? "" : marked.substr(open + 1, close - open - 1);
        const std::string line =
            open == std::string::npos ? marked : marked.substr(0, open) + heading + marked.substr(close + 1);
        const auto found = findHeading(line);
        EXPECT_EQ(found.has_value(), open != std::string::npos) << marked;
        if (!found || open == std::string::npos) continue;
        EXPECT_EQ(line.substr(found->begin, found->end - found->begin), heading) << marked;
        EXPECT_EQ(found->level, marked[open] == '{' ? HeadingLevel::Volume : HeadingLevel::Chapter) << marked;
    }
}
