#include "convert/file_converter.h"

#include "convert/path_helpers.h"
#include "platform/mbstring.h"
#include "tests/support/checks.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <csignal>
#endif

using test_support::exists;
using test_support::readFile;
using test_support::TempFolder;
using test_support::writeFile;
using Texts = std::vector<std::string>;

namespace {

const std::string sep(1, platform::pathSeparator());

class RecordingConverter : public FileConverter {
public:
    Texts messages;

protected:
    void showMessage(const std::string& text) override { messages.push_back(text); }
};

// A program folder with the fake converter in Tools, and a folder of books beside it.
class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        platform::useAnsiCodePage();
        useLayoutUnder(temp.path());
    }

    void useLayoutUnder(const std::string& root) {
        layout = std::make_unique<test_support::ProgramLayout>(root);
        ASSERT_TRUE(layout->ready());
        converter.programDirectory = layout->program;
        converter.converterPath = withTrailingBackslash(layout->program) + sep + "Tools" + sep + "kindlegen.exe";
    }

    void converterBehaves(const std::string& config) { ASSERT_TRUE(layout->converterBehaves(config)); }
    Texts converterLog() const { return layout->converterLog(); }
    std::string book(const std::string& name) const { return layout->book(name); }

    TempFolder temp;
    std::unique_ptr<test_support::ProgramLayout> layout;
    RecordingConverter converter;
};

const char kSample[] = "abc\r\n\r\nx<y\r\n";
const char kSampleHtml[] = "<html><head><title></title></head><body>abc<br><br>x<y<br></body></html>";

}  // namespace

TEST_F(Conversion, EachRoadStartsTheConverterOnTheRightFileAndWaitsForIt) {
    converterBehaves("delay_ms=1000\n");  // a slow converter is waited for
    ASSERT_TRUE(writeFile(book("novel.txt"), kSample));
    EXPECT_TRUE(converter.convertFile(book("novel.txt")));
    EXPECT_EQ(readFile(book("novel.mobi")), kSampleHtml);  // the fake copies what it was given
    EXPECT_FALSE(exists(book("novel.htm")));
    EXPECT_EQ(readFile(book("novel.txt")), kSample);

    converterBehaves("");
    for (const char* name : {"novel.epub", "page.htm", "page2.html"}) {
        ASSERT_TRUE(writeFile(book(name), name));
        EXPECT_TRUE(converter.convertFile(book(name))) << name;
    }
    EXPECT_EQ(readFile(book("page2.mobi")), "page2.html");
    Texts expected;
    for (const char* source : {"novel.htm", "novel.epub", "page.htm", "page2.html"})
        expected.insert(expected.end(), {"cwd=" + layout->tools, "arg=" + book(source), "arg=-c2"});
    EXPECT_EQ(converterLog(), expected);
    EXPECT_EQ(converter.messages, Texts{});
}

// Text mode: 0x1A ends the input, CR LF and LF end a line, a lone CR is text; bytes pass as they are.
// A CR LF split across the 64 KiB read blocks is still one line end; long lines stay whole.
TEST_F(Conversion, IntermediatePageIsByteExact) {
    const std::string bom = "\xEF\xBB\xBF", gbk = "\xB5\xDA\xD2\xBB\xD5\xC2", block(64 * 1024 - 1, 'a');
    const auto page = [&](const std::string& text) {
        EXPECT_TRUE(writeFile(book("in.txt"), text));
        EXPECT_TRUE(converter.writeHtmlFromText(book("in.txt"), book("in.htm")));
        return readFile(book("in.htm"));
    };
    for (const std::string& text :
         {std::string(), std::string("last line"), std::string("a\rb\r\n"), std::string("a\nb\n\nend\r"),
          bom + "first\r\nsecond", gbk + "\r\n&amp; <b>", std::string("kept\r\n\x1A") + "dropped\r\n",
          std::string("\x1A") + "abc", std::string("\r\n\r\n"), std::string("\r"),
          block + "\r\n" + std::string(200 * 1024, 'b') + "\r\nz", block + "\rq", block + "\r"})
        EXPECT_EQ(page(text), test_support::textModePage(text)) << text.substr(0, 40);
    // UTF-16: 上 is 0A 4E and 业 is 1A 4E in little-endian order, neither a line end nor the end;
    // the lines come out in UTF-8.
    const std::pair<std::string, std::string> utf16[] = {
        {std::string("\xFF\xFE\x0A\x4E\r\0\n\0\x1A\x4E\n\0a\0\r\0b\0", 18), u8"上<br>业<br>a\rb<br>"},
        {std::string("\xFE\xFF\x4E\x0A\0\r\0\n\x4E\x1A\0\x1A\0z", 14), u8"上<br>业<br>"},
        {std::string("\xFF\xFE\x3D\xD8\x00\xDE\x00", 7), u8"\U0001F600\uFFFD<br>"},
    };
    for (const auto& [text, lines] : utf16)
        EXPECT_EQ(page(text), "<html><head><title></title></head><body>" + lines + "</body></html>");
    EXPECT_EQ(converter.messages, Texts{});
}

TEST_F(Conversion, UnsupportedExtensionsAreRefusedWithoutRunningTheConverter) {
    EXPECT_FALSE(converter.convertFile(book("x.opf")));
    EXPECT_FALSE(converter.convertFile(book("NOVEL.TXT")));
    EXPECT_FALSE(converter.convertFile(sep + "docs" + sep + "books"));
    EXPECT_EQ(converter.messages,
              (Texts{"不支持的文件类型(opf)！", "不支持的文件类型(TXT)！", "不支持的文件类型()！"}));
    EXPECT_EQ(converterLog(), Texts{});
}

TEST_F(Conversion, SuccessIsDecidedByThePresenceOfTheOutputOnly) {
    ASSERT_TRUE(writeFile(book("a.txt"), "text"));
    ASSERT_TRUE(writeFile(book("a.mobi"), "stale"));
    converterBehaves("mode=none\n");
    EXPECT_FALSE(converter.convertFile(book("a.txt")));
    EXPECT_FALSE(exists(book("a.mobi")));  // the stale book went before the converter ran
    EXPECT_FALSE(exists(book("a.htm")));

    ASSERT_TRUE(writeFile(book("b.epub"), "book"));
    EXPECT_FALSE(converter.convertFile(book("b.epub")));
    EXPECT_EQ(converter.messages, (Texts{"转换失败！未找到转换后的文件。", "转换失败！未找到转换后的文件。"}));
#ifdef _WIN32
    // The texts are stored in code page 936, as on a Chinese Windows.
    EXPECT_EQ(converter.messages[0],
              "\xD7\xAA\xBB\xBB\xCA\xA7\xB0\xDC\xA3\xA1\xCE\xB4\xD5\xD2\xB5\xBD\xD7\xAA\xBB\xBB"
              "\xBA\xF3\xB5\xC4\xCE\xC4\xBC\xFE\xA1\xA3");
#endif

    // A converter that fails or crashes after writing part of a book has converted nothing.
    converter.messages.clear();
    for (const char* behaviour : {"mode=partial\n", "mode=crash\n"}) {
        converterBehaves(behaviour);
        EXPECT_FALSE(converter.convertFile(book("b.epub"))) << behaviour;
        EXPECT_FALSE(exists(book("b.mobi"))) << behaviour;
    }
    EXPECT_EQ(converter.messages, Texts(2, "转换失败！未找到转换后的文件。"));
    EXPECT_EQ(readFile(book("b.epub")), "book");
}

TEST_F(Conversion, StaleOutputThatCannotBeDeletedStopsBothRoads) {
    ASSERT_TRUE(writeFile(book("a.txt"), "text"));
    ASSERT_TRUE(writeFile(book("a.epub"), "book"));
    ASSERT_TRUE(test_support::makeFolder(book("a.mobi")));
    EXPECT_FALSE(converter.convertFile(book("a.txt")));
    EXPECT_FALSE(converter.convertFile(book("a.epub")));
    EXPECT_EQ(converter.messages, (Texts{"删除目标文件 " + book("a.mobi") + " 失败！请手动删除后再执行本程序。",
                                         "删除目标文件 " + book("a.mobi") + " 失败！请手动删除该文件后再转换一次。"}));
    EXPECT_FALSE(exists(book("a.htm")));
    EXPECT_EQ(readFile(book("a.txt")), "text");
    EXPECT_EQ(converterLog(), Texts{});
}

TEST_F(Conversion, UnreadableSourceIsReportedTwiceAndTouchesNothing) {
    ASSERT_TRUE(writeFile(book("gone.htm"), "mine"));
    EXPECT_FALSE(converter.convertTextFile(book("gone.txt")));
    EXPECT_EQ(converter.messages, (Texts{"打开文件 " + book("gone.txt") + " 失败！",
                                         "转换 " + book("gone.txt") + " 到网页文件时出现错误！"}));
    EXPECT_EQ(readFile(book("gone.htm")), "mine");
    EXPECT_EQ(converterLog(), Texts{});
}

TEST_F(Conversion, UsersOwnPageBesideATextIsKeptOnEveryRoad) {
    ASSERT_TRUE(writeFile(book("novel.txt"), kSample));
    ASSERT_TRUE(writeFile(book("novel.htm"), "USER PAGE"));
    ASSERT_TRUE(writeFile(book("novel.htm.orig"), "ANOTHER"));

    EXPECT_TRUE(converter.convertFile(book("novel.txt")));
    EXPECT_EQ(readFile(book("novel.mobi")), kSampleHtml);
    EXPECT_EQ(converterLog()[1], "arg=" + book("novel.htm"));

    converterBehaves("mode=none\n");
    EXPECT_FALSE(converter.convertFile(book("novel.txt")));

    EXPECT_EQ(readFile(book("novel.htm")), "USER PAGE");
    EXPECT_EQ(readFile(book("novel.htm.orig")), "ANOTHER");
    EXPECT_FALSE(exists(book("novel.htm.orig2")));
    EXPECT_EQ(converter.messages, Texts{"转换失败！未找到转换后的文件。"});
}

#ifdef _WIN32

// 乗 is 0x81 0x5C in code page 936: a folder name ending in it ends in a byte equal to '\'.
TEST_F(Conversion, FoldersEndingInA0x5CTrailByteWork) {
    TempFolder gbkRoot;
    const std::string root = gbkRoot / "\x81\x5C";
    ASSERT_TRUE(test_support::makeFolder(root));
    useLayoutUnder(root);
    ASSERT_TRUE(writeFile(book("\xCA\xE9.txt"), "\xB5\xDA\xD2\xBB\xD5\xC2\r\n"));
    EXPECT_TRUE(converter.convertFile(book("\xCA\xE9.txt")));
    EXPECT_EQ(readFile(book("\xCA\xE9.mobi")),
              "<html><head><title></title></head><body>\xB5\xDA\xD2\xBB\xD5\xC2<br></body></html>");
    EXPECT_EQ(converterLog(), (Texts{"cwd=" + layout->tools, "arg=" + book("\xCA\xE9.htm"), "arg=-c2"}));
}

#else

TEST_F(Conversion, UsersPageThatCannotBeMovedAsideStopsTheConversion) {
    ASSERT_TRUE(writeFile(book("novel.txt"), "text"));
    ASSERT_TRUE(test_support::makeFolder(book("novel.htm")));
    ASSERT_TRUE(writeFile(book("novel.htm") + sep + "inside", "USER"));
    EXPECT_FALSE(converter.convertFile(book("novel.txt")));
    EXPECT_EQ(converter.messages, Texts{"删除临时文件 " + book("novel.htm") + " 失败！请手动删除后再执行本程序。"});
    EXPECT_EQ(readFile(book("novel.htm") + sep + "inside"), "USER");
    EXPECT_EQ(converterLog(), Texts{});
}

TEST_F(Conversion, ReadErrorAfterOpeningIsAnOpenFailure) {
    // Reading this process's memory from address 0 fails with EIO after a successful open.
    EXPECT_FALSE(converter.writeHtmlFromText("/proc/self/mem", book("mem.htm")));
    EXPECT_EQ(converter.messages, Texts{"打开文件 /proc/self/mem 失败！"});
    EXPECT_FALSE(exists(book("mem.htm")));
}

TEST_F(Conversion, FullDiskWhileWritingRemovesTheHalfWrittenPage) {
    ASSERT_TRUE(writeFile(book("big.txt"), std::string(64 * 1024, 'x') + "\r\n"));
    ASSERT_TRUE(writeFile(book("big.htm"), "USER PAGE"));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool converted = converter.convertFile(book("big.txt"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(converted);
    EXPECT_EQ(converter.messages, (Texts{"创建文件 " + book("big.htm") + " 失败！",
                                         "转换 " + book("big.txt") + " 到网页文件时出现错误！"}));
    EXPECT_EQ(readFile(book("big.htm")), "USER PAGE");
    EXPECT_FALSE(exists(book("big.mobi")));
    EXPECT_EQ(converterLog(), Texts{});
}

#endif
