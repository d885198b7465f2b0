#include "convert/path_helpers.h"

#include "platform/mbstring.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

using test_support::TempFolder;

namespace {

const std::string sep(1, platform::pathSeparator());

class PathHelpers : public ::testing::Test {
protected:
    void SetUp() override { platform::useAnsiCodePage(); }
};

}  // namespace

TEST_F(PathHelpers, ExtensionAndStemSplitAtTheLastDotOfTheWholePath) {
    struct Case {
        const char* path;
        const char* extension;
        const char* stem;
    };
    const Case cases[] = {
        {"C:\\books\\novel.txt", "txt", "C:\\books\\novel"},
        {"C:\\books\\archive.tar.txt", "txt", "C:\\books\\archive.tar"},
        {"C:\\my.books\\novel", "books\\novel", "C:\\my"},
        {"C:\\books\\novel.", "", "C:\\books\\novel"},
        {"C:\\books\\NOVEL.TXT", "TXT", "C:\\books\\NOVEL"},
        {"C:\\books\\novel", "", "C:\\books\\novel"},
        {".profile", "profile", ".profile"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(stripExtension(c.path), c.stem) << c.path;
    }
}

TEST_F(PathHelpers, TrailingSeparatorIsAddedOnceAndTheProgramFolderIsThisExecutables) {
    const std::string app = "C:" + sep + "App";
    EXPECT_EQ(withTrailingBackslash(""), "");
    EXPECT_EQ(withTrailingBackslash(app), app + sep);
    EXPECT_EQ(withTrailingBackslash(app + sep), app + sep);
    EXPECT_EQ(directoryPart(app + sep + "Tomewright.exe"), app);
    EXPECT_EQ(programDirectory(), test_support::executableFolder());
}

TEST_F(PathHelpers, FileExistsFindsFilesAndFoldersButNotTrailingSeparatorsOrWildcards) {
    TempFolder temp;
    const std::string file = temp / "novel.txt";
    const std::string folder = temp / "books";
    ASSERT_TRUE(test_support::writeFile(file, "x"));
    ASSERT_TRUE(test_support::makeFolder(folder));

    EXPECT_TRUE(fileExists(file));
    EXPECT_TRUE(fileExists(folder));
    EXPECT_FALSE(fileExists(folder + sep));
    EXPECT_FALSE(fileExists(temp / "nothing.txt"));
    EXPECT_FALSE(fileExists(""));
    // A search pattern would match novel.txt; a path with wildcards must not count as found.
    EXPECT_FALSE(fileExists(temp / "*.txt"));
    EXPECT_FALSE(fileExists(temp / "novel.tx?"));
}

#ifdef _WIN32
// In code page 936 the character 乗 is 0x81 0x5C: its trail byte has the value of '\'.
TEST_F(PathHelpers, Gbk0x5CTrailByteIsNeverTakenForASeparator) {
    const std::string folder = "C:\\tw\\\x81\x5C";
    EXPECT_EQ(directoryPart(folder), "C:\\tw");
    EXPECT_EQ(directoryPart(folder + "\\Tomewright.exe"), folder);
    EXPECT_EQ(fileExtension(folder + "\\novel.txt"), "txt");
    EXPECT_EQ(stripExtension(folder + "\\novel.txt"), folder + "\\novel");
    EXPECT_EQ(fileExtension("C:\\my.b\x81\x5C"), "b\x81\x5C");
    EXPECT_EQ(stripExtension("C:\\a\x81\x5C.txt"), "C:\\a\x81\x5C");
    // The trailing-separator test alone is byte-wise.
    EXPECT_EQ(withTrailingBackslash(folder), folder);
}

TEST_F(PathHelpers, BareDriveRootIsNotFound) { EXPECT_FALSE(fileExists("C:\\")); }
#endif
