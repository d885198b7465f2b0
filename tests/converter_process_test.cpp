// The converter as the program starts it: a child process in its own folder, judged by its
// exit code and by the files it leaves beside the source.
#include "tests/support/checks.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST_F(ConverterProcess, ConvertsAGbkTextPageBesideTheSource) {
    // The program's text-to-HTML form of a GBK novel: no charset, lines ending in <br>.
    const std::string line = "\xB5\xDA\xD2\xBB\xD5\xC2 \xD6\xD0\xCE\xC4<br>" + repeat("\xD6\xD0\xCE\xC4", 40) + "<br>";
    writeFile(folder / "novel book.htm",
              "<html><head><title></title></head><body>" + repeat(line, 500) + "</body></html>");
    EXPECT_EQ(convert(quoted("novel book.htm") + " -c2"), 0) << log;
    EXPECT_EQ(readFile(folder / "novel book.mobi").substr(60, 8), "BOOKMOBI") << log;
    EXPECT_EQ(fileCount(), 2u);
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
