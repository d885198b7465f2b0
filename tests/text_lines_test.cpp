#include "convert/text_lines.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> linesOf(const std::string& bytes) {
    test_support::TempFolder temp;
    const std::string path = temp / "source.txt";
    EXPECT_TRUE(test_support::writeFile(path, bytes));
    platform::InputFile file;
    EXPECT_TRUE(file.open(path));
    TextLineReader reader(file);
    std::vector<std::string> lines;
    std::string line;
    TextLineReader::Result result;
    while ((result = reader.next(line)) == TextLineReader::Result::Line) lines.push_back(line);
    EXPECT_EQ(result, TextLineReader::Result::End);
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(TextLines, LineEndsFollowTextMode) {
    EXPECT_EQ(linesOf(""), Lines{});
    EXPECT_EQ(linesOf("abc\r\n\r\nx<y\r\n"), (Lines{"abc", "", "x<y"}));
    EXPECT_EQ(linesOf("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(linesOf("\n"), Lines{""});
    EXPECT_EQ(linesOf("a\rb\r\n"), Lines{"a\rb"});
    EXPECT_EQ(linesOf("end\r"), Lines{"end\r"});
    EXPECT_EQ(linesOf("\r"), Lines{"\r"});
}

TEST(TextLines, EndOfTextByteStopsTheInput) {
    EXPECT_EQ(linesOf("a\r\nb\x1A"
                      "c\r\nd\r\n"),
              (Lines{"a", "b"}));
    EXPECT_EQ(linesOf("\x1A"
                      "abc"),
              Lines{});
}

TEST(TextLines, BytesPassUnchanged) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string gbk = "\xB5\xDA\xD2\xBB\xD5\xC2";  // 第一章
    EXPECT_EQ(linesOf(bom + "x\r\n" + gbk), (Lines{bom + "x", gbk}));
}

TEST(TextLines, LinesAndLineEndsSpanningReadBlocks) {
    // A CR LF split across the 64 KiB read blocks is still one line end; long lines stay whole.
    const std::string first(64 * 1024 - 1, 'a');
    const std::string longLine(200 * 1024, 'b');
    EXPECT_EQ(linesOf(first + "\r\n" + longLine + "\r\nz"), (Lines{first, longLine, "z"}));
    EXPECT_EQ(linesOf(first + "\rq"), Lines{first + "\rq"});
    EXPECT_EQ(linesOf(first + "\r"), Lines{first + "\r"});
}
