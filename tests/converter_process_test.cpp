// The converter as the program starts it: a child process in its own folder, judged by its
// exit code and by the files it leaves beside the source.
#include "tests/support/checks.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace {

using namespace test_support;
namespace fs = std::filesystem;

class ConverterProcess : public ::testing::Test {
protected:
    int convert(const std::string& arguments) {
        const fs::path previous = fs::current_path();
        fs::current_path(fs::path(MOBIGEN_EXE).parent_path());
        const int status = runCommand("\"" + std::string(MOBIGEN_EXE) + "\" " + arguments, folder / "log.txt");
        fs::current_path(previous);
        log = readFile(folder / "log.txt");
        fs::remove(folder / "log.txt");
        return status;
    }
    std::string quoted(const std::string& name) const { return "\"" + (folder / name) + "\""; }

    TempFolder folder;
    std::string log;
};

// The program's text-to-HTML form of a novel (no charset, lines ending in <br>) in GBK, and a page
// in UTF-16; how each charset is told apart is encoding_test's.
TEST_F(ConverterProcess, TextPagesBecomeBooksBesideThem) {
    const std::string head = "<html><head><title></title></head><body>";
    const std::string gbk = "\xB5\xDA\xD2\xBB\xD5\xC2 \xD6\xD0\xCE\xC4<br>" + repeat("\xD6\xD0\xCE\xC4", 40) + "<br>";
    struct Case {
        std::string name, bytes, text;
    };
    const Case cases[] = {
        {"novel book.htm", head + repeat(gbk, 500) + "</body></html>", u8"中文中文"},
        {"le.html", std::string("\xFF\xFE<\0p\0>\0\x0A\x4E\x1A\x4E", 12), u8"上业"},
    };
    for (const Case& c : cases) {
        writeFile(folder / c.name, c.bytes);
        EXPECT_EQ(convert(quoted(c.name) + " -c2"), 0) << log;
    }
    // Each source and its book, nothing else.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2 * std::size(cases));
    writeFile(folder / "broken.epub", "not a zip");  // the real EPUB reader refuses it, and the process says so
    EXPECT_EQ(convert(quoted("broken.epub")), 2);
    EXPECT_NE(log.find("zip"), std::string::npos) << log;
    if (!haveMobitool()) GTEST_SKIP() << "mobitool (libmobi-tools) is not installed";
    for (const Case& c : cases) {
        const std::string stem = c.name.substr(0, c.name.rfind('.'));
        EXPECT_EQ(runCommand("mobitool -d -o \"" + folder.path() + "\" " + quoted(stem + ".mobi"), folder / "info.txt"),
                  0);
        EXPECT_NE(readFile(folder / (stem + ".rawml")).find(c.text), std::string::npos) << c.name;
    }
}

}  // namespace
