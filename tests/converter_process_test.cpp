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
    std::size_t fileCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()));
    }

    TempFolder folder;
    std::string log;
};

// The program's text-to-HTML form of a novel (no charset, lines ending in <br>) in GBK and Big5,
// and pages in UTF-16.
TEST_F(ConverterProcess, TextPagesReadBackWithTheirTextLanguageAndContents) {
    const std::string head = "<html><head><title></title></head><body>";
    const std::string gbk = "\xB5\xDA\xD2\xBB\xD5\xC2 \xD6\xD0\xCE\xC4<br>" + repeat("\xD6\xD0\xCE\xC4", 40) + "<br>";
    // 第一回 宴桃園豪傑三結義<br>話說天下大勢，分久必合。<br> in Big5.
    const std::string big5 =
        "\xB2\xC4\xA4\x40\xA6\x5E\x20\xAE\x62\xAE\xE7\xB6\xE9\xBB\xA8\xB3\xC7\xA4\x54\xB5\xB2\xB8\x71<br>"
        "\xB8\xDC\xBB\xA1\xA4\xD1\xA4\x55\xA4\x6A\xB6\xD5\xA1\x41\xA4\xC0\xA4\x5B\xA5\xB2\xA6\x58\xA1\x43<br>";
    struct Case {
        std::string name, bytes, text, language;
    };
    const Case cases[] = {
        {"novel book.htm", head + repeat(gbk, 500) + "</body></html>", u8"中文中文", ""},
        {"big5.htm", head + big5 + "</body></html>", u8"話說天下大勢", "zh-TW"},
        {"le.html", std::string("\xFF\xFE<\0p\0>\0\x0A\x4E\x1A\x4E", 12), u8"上业", ""},
        {"be.html", std::string("\xFE\xFF\0<\0p\0>\x4E\x0A\x4E\x1A", 12), u8"上业", ""},
    };
    for (const Case& c : cases) {
        writeFile(folder / c.name, c.bytes);
        EXPECT_EQ(convert(quoted(c.name) + " -c2"), 0) << log;
    }
    EXPECT_EQ(fileCount(), 2 * std::size(cases));  // each source and its book, nothing else
    if (!haveMobitool()) GTEST_SKIP() << "mobitool (libmobi-tools) is not installed";
    for (const Case& c : cases) {
        const std::string stem = c.name.substr(0, c.name.rfind('.'));
        EXPECT_EQ(
            runCommand("mobitool -i -d -o \"" + folder.path() + "\" " + quoted(stem + ".mobi"), folder / "info.txt"),
            0);
        EXPECT_NE(readFile(folder / (stem + ".rawml")).find(c.text), std::string::npos) << c.name;
        if (c.language.empty()) continue;
        const std::string info = readFile(folder / "info.txt");
        EXPECT_NE(info.find("(524): " + c.language), std::string::npos) << info;
        EXPECT_NE(readFile(folder / (stem + ".rawml")).find(u8">目錄<"), std::string::npos) << c.name;
    }
}

TEST_F(ConverterProcess, UsageAndFailuresExitWithTwoAndLeaveNoPartialOutput) {
    EXPECT_EQ(convert(""), 2);
    EXPECT_NE(log.find("Usage"), std::string::npos);
    writeFile(folder / "broken.epub", "this is not a zip archive");
    writeFile(folder / "broken.mobi", "earlier output");
    EXPECT_EQ(convert(quoted("broken.epub") + " -c2"), 2);
    EXPECT_NE(log.find("Error:"), std::string::npos) << log;
    EXPECT_EQ(readFile(folder / "broken.mobi"), "earlier output");
    EXPECT_EQ(fileCount(), 2u);
}

}  // namespace
