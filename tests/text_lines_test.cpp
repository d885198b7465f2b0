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

// The text-mode rules themselves are checked on whole pages in file_converter_test.
TEST(TextLines, LinesAndLineEndsSpanningReadBlocks) {
    // A CR LF split across the 64 KiB read blocks is still one line end; long lines stay whole.
    const std::string first(64 * 1024 - 1, 'a');
    const std::string longLine(200 * 1024, 'b');
    EXPECT_EQ(linesOf(first + "\r\n" + longLine + "\r\nz"), (Lines{first, longLine, "z"}));
    EXPECT_EQ(linesOf(first + "\rq"), Lines{first + "\rq"});
    EXPECT_EQ(linesOf(first + "\r"), Lines{first + "\r"});
}
