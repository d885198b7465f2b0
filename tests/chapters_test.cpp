#include "mobigen/outline/chapters.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/outline/text_page.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
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

// A case a line: [ ] marks where a chapter heading stands in it, { } a volume's; prose has neither.
const char* const kHeadingLines[] = {
    u8"[第12章 风起]", u8"[第一百零五章]", u8"　　[第二章：重逢]", u8"[楔子]", u8"[序章]", u8"[序]", u8"[尾声]",
    u8"[番外一 小剧场]", u8"[第１２章　新的开始]", u8"[第十章 你好吗？]", u8"[第 12 章 标题]", u8"[第一章风起云涌]",
    u8"[第一○○回 史太君破陈腐旧套]", u8"[第一〇一回]", u8"[第两百回]", u8"[第十七回至十八回 大观园试才题对额]",
    u8"[第十七至十八回 皇恩重元妃省父母]", u8"[第三节至第四节]", u8"[第2345章 山雨欲来]", u8"[第123章 风起，云涌]",
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
    u8"卷一卷铺盖就走了", u8"一、坚持原则，不要动摇。", u8"一、二、三！", u8"第二回合，他又输了。", u8"目录", u8"正文",
    u8"【", u8"“第一章写完了吗？”他问。", u8"第三集我还没看。", "Chapter 7, in which we learn something", "chapter 7",
    "Chapters of my life", "Chapter 7 was the best part of the whole book I have ever read", "Prologues", "Part of it",
    ""};

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

namespace {
// Lines of a text with the heading each should give ("" for prose).
using Sample = std::vector<std::pair<std::string, std::string>>;

struct Count {
    int present = 0, found = 0, wrong = 0;
};

Count countHeadings(const Sample& sample) {
    Count count;
    for (const auto& [line, heading] : sample) {
        const auto found = findHeading(line);
        const std::string text = found ? line.substr(found->begin, found->end - found->begin) : "";
        count.present += !heading.empty();
        count.found += found && text == heading;
        count.wrong += found && text != heading;
    }
    return count;
}

std::string chineseNumber(int n) {  // 1 to 999
    const char* digits[] = {u8"零", u8"一", u8"二", u8"三", u8"四", u8"五", u8"六", u8"七", u8"八", u8"九"};
    std::string out = n >= 100 ? std::string(digits[n / 100]) + u8"百" + (n % 100 && n % 100 < 10 ? u8"零" : "") : "";
    if (n % 100 >= 10) out += (n % 100 >= 20 || n >= 100 ? digits[n % 100 / 10] : "") + std::string(u8"十");
    return n % 10 ? out + digits[n % 10] : out;
}

// Public-domain chapter titles and first lines (三国演义, 西游记, 金瓶梅, 红楼梦), set down the
// ways download sites write them, among prose that names chapters.
Sample classic() {
    const std::pair<const char*, const char*> chapters[] = {
        {u8"宴桃园豪杰三结义　斩黄巾英雄首立功", u8"话说天下大势，分久必合，合久必分。"},
        {u8"灵根育孕源流出　心性修持大道生", u8"诗曰：混沌未分天地乱，茫茫渺渺无人见。"},
        {u8"西门庆热结十弟兄　武二郎冷遇亲哥嫂", u8"诗曰：豪华去后行人绝，箫筝不响歌喉咽。"},
        {u8"甄士隐梦幻识通灵　贾雨村风尘怀闺秀", u8"此开卷第一回也。作者自云：曾历过一番梦幻之后。"},
        {u8"贾夫人仙逝扬州城　冷子兴演说荣国府", u8"诗云：一局输赢料不真，香销茶尽尚逡巡。"}};
    const char* prefixes[] = {"", u8"正文 ", u8"《》目录 ", u8"　　", u8"《红楼梦》 ", "\t"};
    Sample sample;
    for (int n = 1; n <= 120; ++n) {
        const auto& [title, opening] = chapters[n % 5];
        const std::string heading = u8"第" + chineseNumber(n) + u8"回 " + title;
        const bool runIn = n % 4 == 0;
        sample.push_back({prefixes[n % 6] + heading + (runIn ? opening : ""), heading});
        if (!runIn) sample.push_back({u8"　　" + std::string(opening), ""});
        for (const char* prose : {u8"第四回中既将薛家母子在荣府内寄居等事略已表明，此回则暂不能写矣。",
                                  u8"第一次见面他就说，以后再也不来了……", u8"毕竟不知性命如何，且听下回分解。"})
            sample.push_back({prose, ""});
    }
    return sample;
}

// A web novel: 30 volumes of 100 chapters numbered on, a third behind a site prefix, some indented.
Sample webNovel() {
    Sample sample;
    for (int chapter = 1; chapter <= 3000; ++chapter) {
        if (chapter % 100 == 1) {
            const std::string volume = u8"第" + chineseNumber(chapter / 100 + 1) + u8"卷 风起云涌";
            sample.push_back({volume, volume});
        }
        const std::string heading =
            u8"第" + std::to_string(chapter) + (chapter % 7 ? u8"章 山雨欲来" : u8"章 风起，云涌");
        sample.push_back({(chapter % 3 ? chapter % 5 ? "" : u8"　　" : u8"正文 ") + heading, heading});
        for (const char* prose : {u8"　　“第三章写得不错。”他说。", u8"　　第二天一早，他就出了门，上部分已经讲过。",
                                  u8"　　第十章的时候，他们才第一次见面。"})
            sample.push_back({prose, ""});
    }
    return sample;
}
}  // namespace

TEST(ChapterHeadings, EveryHeadingOfGeneratedBooksAndNoProse) {
    for (const auto& [name, sample] : {std::pair{"classic", classic()}, std::pair{"web novel", webNovel()}}) {
        const Count count = countHeadings(sample);
        std::cout << name << ": " << count.found << " of " << count.present << " headings, " << count.wrong
                  << " lines wrongly taken\n";
        EXPECT_EQ(count.found, count.present) << name;
        EXPECT_EQ(count.wrong, 0) << name;
    }
}

// For measuring a real book: HEADINGS_TXT=book.txt (UTF-8) chapters_test --gtest_filter=*TextFile
TEST(ChapterHeadings, ListTheHeadingsOfATextFile) {
    const char* path = std::getenv("HEADINGS_TXT");
    if (!path) GTEST_SKIP() << "HEADINGS_TXT names no file";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    int counts[2] = {0, 0};
    for (std::string line; std::getline(in, line);) {
        const auto found = findHeading(line);
        if (!found) continue;
        ++counts[found->level == HeadingLevel::Chapter];
        std::cout << (found->level == HeadingLevel::Chapter ? "  " : "")
                  << line.substr(found->begin, found->end - found->begin) << '\n';
    }
    std::cout << counts[0] << " volumes, " << counts[1] << " chapters\n";
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
