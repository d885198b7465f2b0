// What the program does when the world misbehaves, run for real under Wine through the main
// dialog: the boxes it shows, the lines it lists, and proof that no user file changed except
// the book it was asked to make.
#include "ui_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

using namespace test_support;
using namespace ui_testing;

namespace {

const std::string kNoOutput = "转换失败！未找到转换后的文件。";

// Every file below a folder with its content: the user's files before and after.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& folder) {
    Snapshot files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        const std::string path = entry.path().string();
        if (entry.is_directory())
            files[path + "\\"] = "";
        else
            files[path] = exists(path) ? readFile(path) : "<unreadable>";
    }
    return files;
}

// A Unix folder prepared by the test's wrapper, as Wine names it.
std::string fromUnix(const char* variable) {
    const char* path = std::getenv(variable);
    if (!path) return {};
    std::string windows = std::string("Z:") + path;
    for (char& c : windows) c = c == '/' ? '\\' : c;
    return windows;
}

class FaultMatrix : public MainDialogTest {
protected:
    // Our own converter, built into the release layout beside the tests.
    void useRealConverter() {
        const std::string built = executableFolder() + "\\..\\dist\\Tools\\kindlegen.exe";
        ASSERT_TRUE(exists(built)) << built;
        ASSERT_TRUE(layout.useConverter(built));
    }

    const std::string& books = layout.books;
};

}  // namespace

TEST_F(FaultMatrix, SourceHeldOpenWithoutSharing) {
    useRealConverter();
    const std::string text = addBook("held.txt");
    const std::string epub = addBook("held.epub", "PK not really");
    const Snapshot before = snapshot(books);
    {
        ExclusiveHold holdText(text), holdEpub(epub);
        ASSERT_TRUE(holdText.held() && holdEpub.held());
        dialog.run({dropFiles({text, epub})});
    }
    EXPECT_EQ(watcher.texts(),
              (Texts{"打开文件 " + text + " 失败！", "转换 " + text + " 到网页文件时出现错误！", kNoOutput}));
    EXPECT_EQ(dialog.finalLines, progressLines(text, false) + progressLines(epub, false));
    EXPECT_EQ(snapshot(books), before);
}

TEST_F(FaultMatrix, StaleBookReadOnlyOrLocked) {
    const std::string text = addBook("a.txt");
    const std::string epub = addBook("b.epub");
    addBook("a.mobi", "read-only old book");
    addBook("b.mobi", "locked old book");
    ASSERT_TRUE(SetFileAttributesA(book("a.mobi").c_str(), FILE_ATTRIBUTE_READONLY));
    const Snapshot before = snapshot(books);
    {
        ExclusiveHold hold(book("b.mobi"));
        ASSERT_TRUE(hold.held());
        dialog.run({dropFiles({text, epub})});
    }
    EXPECT_EQ(watcher.texts(), (Texts{"删除目标文件 " + book("a.mobi") + " 失败！请手动删除后再执行本程序。",
                                      "删除目标文件 " + book("b.mobi") + " 失败！请手动删除该文件后再转换一次。"}));
    EXPECT_EQ(dialog.finalLines, progressLines(text, false) + progressLines(epub, false));
    EXPECT_EQ(snapshot(books), before);
    SetFileAttributesA(book("a.mobi").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FaultMatrix, UsersOwnPageBesideAText) {
    useRealConverter();
    const std::string text = addBook("novel.txt", "\xB5\xDA\xD2\xBB\xD5\xC2 \xBF\xAA\xCA\xBC\r\nWords.\r\n");
    addBook("novel.htm", "<html><body>my own page</body></html>");
    const Snapshot before = snapshot(books);
    dialog.run({dropFiles({text})});
    EXPECT_EQ(watcher.texts(), Texts{});
    EXPECT_EQ(dialog.finalLines, progressLines(text, true));
    Snapshot after = snapshot(books);
    EXPECT_EQ(after.erase(book("novel.mobi")), 1u);
    EXPECT_EQ(after, before);
    EXPECT_EQ(readFile(book("novel.mobi")).substr(60, 8), "BOOKMOBI");
}

TEST_F(FaultMatrix, FolderOfTheIntermediatePageIsReadOnly) {
    const std::string folder = fromUnix("TW_READONLY_FOLDER");
    if (folder.empty()) GTEST_SKIP() << "needs root for a read-only bind mount (see tests/faults/with-fault-folders)";
    useRealConverter();
    const std::string text = folder + "\\book.txt";
    const std::string page = folder + "\\page.html";
    const Snapshot before = snapshot(folder);
    dialog.run({dropFiles({text, page})});
    EXPECT_EQ(watcher.texts(), (Texts{"创建文件 " + folder + "\\book.htm 失败！",
                                      "转换 " + text + " 到网页文件时出现错误！", kNoOutput}));
    EXPECT_EQ(dialog.finalLines, progressLines(text, false) + progressLines(page, false));
    EXPECT_EQ(snapshot(folder), before);
}

TEST_F(FaultMatrix, DiskFillsWhileTheIntermediatePageIsWritten) {
    const std::string disk = fromUnix("TW_FULL_DISK");
    if (disk.empty()) GTEST_SKIP() << "needs root for a small tmpfs (see tests/faults/with-fault-folders)";
    // The page is a little larger than its text, so a text that fits leaves no room for it.
    const std::string text = disk + "\\big.txt";
    std::string novel;
    while (novel.size() < 200 * 1024) novel += "\xD5\xE2\xCA\xC7\xD2\xBB\xD0\xD0\xCE\xC4\xD7\xD6\r\n";
    ASSERT_TRUE(writeFile(text, novel));
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(GetDiskFreeSpaceExA((disk + "\\").c_str(), &freeBytes, nullptr, nullptr));
    ASSERT_GT(freeBytes.QuadPart, 64u * 1024);
    ASSERT_TRUE(
        writeFile(disk + "\\filler", std::string(static_cast<std::size_t>(freeBytes.QuadPart) - 64 * 1024, 'f')));
    const Snapshot before = snapshot(disk);

    dialog.run({dropFiles({text})});

    EXPECT_EQ(watcher.texts(),
              (Texts{"创建文件 " + disk + "\\big.htm 失败！", "转换 " + text + " 到网页文件时出现错误！"}));
    EXPECT_EQ(dialog.finalLines, progressLines(text, false));
    EXPECT_EQ(snapshot(disk), before);  // no half-written page is left behind
}

TEST_F(FaultMatrix, ConverterGoneAfterStartUp) {
    const std::string text = addBook("a.txt");
    const Snapshot before = snapshot(books);
    ASSERT_TRUE(DeleteFileA(layout.converter.c_str()));
    dialog.run({dropFiles({text})});
    // The shell may show a box of its own first; ours comes last.
    ASSERT_FALSE(watcher.texts().empty());
    EXPECT_EQ(watcher.texts().back(), kNoOutput);
    EXPECT_EQ(dialog.finalLines, progressLines(text, false));
    EXPECT_EQ(snapshot(books), before);
}

TEST_F(FaultMatrix, ConverterCrashesGivesUpOrLeavesHalfABook) {
    const std::string text = addBook("a.txt");
    const std::string epub = addBook("b.epub");
    const Snapshot before = snapshot(books);
    for (const char* behaviour : {"mode=crash\n", "mode=none\n", "mode=partial\n"}) {
        converterBehaves(behaviour);
        dialog.run({dropFiles({text, epub})});
        EXPECT_EQ(dialog.finalLines, progressLines(text, false) + progressLines(epub, false)) << behaviour;
        EXPECT_EQ(snapshot(books), before) << behaviour;
    }
    EXPECT_EQ(watcher.texts(), Texts(6, kNoOutput));
}
