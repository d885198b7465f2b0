// The main dialog under Wine: real drops, real boxes, the real list box.
#include "ui_support.h"

#include "convert/path_helpers.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace test_support;
using namespace ui_testing;

namespace {

const char kAboutCaption[] = "关于 Tomewright";

POINT centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

void expectCentredOver(const RECT& inner, const RECT& outer) {
    EXPECT_NEAR(centre(inner).x, centre(outer).x, 1);
    EXPECT_NEAR(centre(inner).y, centre(outer).y, 1);
}

class MainDialog : public MainDialogTest {
protected:
    // The sources the converter was started on, in order.
    Texts converterSources() const {
        Texts sources;
        for (const std::string& line : layout.converterLog())
            if (line.rfind("arg=", 0) == 0 && line != "arg=-c2") sources.push_back(line.substr(4));
        return sources;
    }

    // Runs `action` on another thread once the converter has been started `runs` times, i.e.
    // while the UI thread waits for it.
    std::thread whenConverterRuns(std::size_t runs, std::function<void()> action) const {
        return std::thread([this, runs, action] {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (converterSources().size() < runs && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            action();
        });
    }

    const std::string& program = layout.program;
    const std::string& books = layout.books;
};

TEST_F(MainDialog, BatchesListEachFileAndARefusedFileEndsTheBatch) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");
    const std::string c = addBook("c.html");
    const std::string doc = addBook("notes.doc");
    const std::string opf = addBook("x.opf");
    const std::string missing = book("missing.txt");
    Texts afterFirst;
    Texts afterMissing;

    dialog.run({dropFiles({a, b}), [&](DialogDriver& d) { afterFirst = d.lines(); }, dropFiles({missing, c}),
                [&](DialogDriver& d) { afterMissing = d.lines(); }, dropFiles({opf, doc, c})});

    EXPECT_EQ(afterFirst, progressLines(a, true) + progressLines(b, true));
    EXPECT_EQ(afterMissing, afterFirst);
    // The opf passes the drop check, fails its conversion, and the batch goes on to the doc.
    EXPECT_EQ(dialog.finalLines, progressLines(opf, false));
    EXPECT_EQ(watcher.texts(),
              (Texts{"文件 " + missing + " 不存在！", "不支持的文件类型(opf)！", "不支持的文件类型(doc)！"}));
    EXPECT_EQ(converterSources(), (Texts{book("a.htm"), b}));
    EXPECT_TRUE(exists(book("a.mobi")) && exists(book("b.mobi")));
    EXPECT_FALSE(exists(book("a.htm")) || exists(book("c.mobi")));
}

TEST_F(MainDialog, NamesAreTakenWholeAsWrittenAndFoldersAlike) {
    const std::string upper = addBook("A.TXT");
    const std::string plainFolder = book("plain");
    const std::string dottedFolder = temp / "my.docs";
    const std::string epubFolder = book("books.epub");
    for (const std::string& folder : {plainFolder, dottedFolder, dottedFolder + "\\books", epubFolder})
        ASSERT_TRUE(makeFolder(folder));
    ASSERT_EQ(temp.path().find('.'), std::string::npos);
    // Long enough that a 200-byte buffer would cut it, short enough for the ANSI file calls;
    // the cut name would find a file of its own.
    const std::string longName = addBook(std::string(215 - books.size(), 'n') + ".txt");
    ASSERT_GT(longName.size(), 200u);
    ASSERT_TRUE(writeFile(longName.substr(0, 199), "a file the cut name would find"));

    dialog.run({dropFiles({upper}), dropFiles({plainFolder}), dropFiles({dottedFolder + "\\books"}),
                dropFiles({longName, epubFolder})});

    EXPECT_EQ(watcher.texts(),
              (Texts{"不支持的文件类型(TXT)！", "不支持的文件类型()！", "不支持的文件类型(docs\\books)！"}));
    EXPECT_EQ(dialog.finalLines, progressLines(longName, true) + progressLines(epubFolder, true));
    EXPECT_EQ(converterSources(), (Texts{stripExtension(longName) + ".htm", epubFolder}));
}

TEST_F(MainDialog, AboutClickAndSecondDropDuringABatchAreHandledBetweenItsFiles) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");
    const std::string c = addBook("c.html");
    const std::string d = addBook("d.htm");
    converterBehaves("delay_ms=700\n");
    HWND main = nullptr;
    std::thread clicker;
    std::thread dropper;

    dialog.run({[&](DialogDriver& dlg) {
        main = dlg.hwnd();
        dlg.postDrop({a, b, d});
        clicker = whenConverterRuns(1, [&dlg] { dlg.postClick(IDC_ABOUT_BUTTON); });
        dropper = whenConverterRuns(2, [&dlg, c] { dlg.postDrop({c}); });
    }});
    clicker.join();
    dropper.join();

    // The nested batch emptied the list; the outer one then went on with d.
    EXPECT_EQ(dialog.finalLines, progressLines(c, true) + progressLines(d, true));
    EXPECT_EQ(converterSources(), (Texts{book("a.htm"), b, c, d}));
    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kAboutCaption);
    EXPECT_EQ(boxes[0].owner, main);
}

TEST_F(MainDialog, CloseDuringABatchEndsTheDialogAfterTheBatch) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");

    const INT_PTR result = dialog.run({[&](DialogDriver& d) {
        d.postDrop({a, b});
        d.postClick(IDOK);
    }});

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.hwnd(), nullptr);
    EXPECT_TRUE(exists(book("a.mobi")) && exists(book("b.mobi")));
    EXPECT_FALSE(exists(book("a.htm")));
    EXPECT_EQ(watcher.texts(), Texts{});
}

// The closing ways a user has are run end to end; here what those runs cannot see.
TEST_F(MainDialog, WindowSetUpSystemMenuAboutItemAndSystemClose) {
    HWND main = nullptr;
    RECT mainRect{};
    const INT_PTR result =
        dialog.run({[&](DialogDriver& d) {
                        main = d.hwnd();
                        GetWindowRect(main, &mainRect);
                        EXPECT_EQ(GetFocus(), GetDlgItem(main, IDOK));
                        const HMENU menu = GetSystemMenu(main, FALSE);
                        const int count = GetMenuItemCount(menu);
                        char text[128] = {};
                        GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
                        EXPECT_STREQ(text, "关于 Tomewright(&A)...");
                        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
                        const auto separator = [&](int at) {
                            return (GetMenuState(menu, static_cast<UINT>(at), MF_BYPOSITION) & MF_SEPARATOR) != 0;
                        };
                        EXPECT_TRUE(separator(count - 2));
                        EXPECT_FALSE(separator(count - 3));  // one separator, not one per call
                        const auto icon = reinterpret_cast<LRESULT>(d.icon);
                        EXPECT_NE(d.icon, nullptr);
                        EXPECT_EQ(SendMessageA(main, WM_GETICON, ICON_BIG, 0), icon);
                        EXPECT_EQ(SendMessageA(main, WM_GETICON, ICON_SMALL, 0), icon);
                        EXPECT_EQ(SendMessageA(main, WM_QUERYDRAGICON, 0, 0), icon);
                        // Painting while minimised takes the icon branch.
                        ShowWindow(main, SW_MINIMIZE);
                        EXPECT_TRUE(IsIconic(main));
                        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
                        ShowWindow(main, SW_RESTORE);
                        // Windows may set the low four bits of a system command.
                        PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX | 3, 0);
                    },
                    [](DialogDriver& d) { PostMessageA(d.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0); }});

    EXPECT_EQ(result, IDCANCEL);
    RECT workArea{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    expectCentredOver(mainRect, workArea);
    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kAboutCaption);
    EXPECT_EQ(boxes[0].owner, main);
    expectCentredOver(boxes[0].rect, mainRect);
}

TEST_F(MainDialog, ConverterIsLookedForUnderToolsWithADoubledSeparator) {
    EXPECT_EQ(dialog.converterPath, program + "\\\\Tools\\kindlegen.exe");
    EXPECT_EQ(dialog.programDirectory, program);

    const std::string folderOnly = temp / "folder-only";
    for (const char* level : {"", "\\Tools", "\\Tools\\kindlegen.exe"}) ASSERT_TRUE(makeFolder(folderOnly + level));
    EXPECT_TRUE(dialog.locateConverterIn(folderOnly));

    const std::string empty = temp / "empty";
    ASSERT_TRUE(makeFolder(empty));
    EXPECT_FALSE(dialog.locateConverterIn(empty));  // its box is judged end to end
    EXPECT_EQ(watcher.boxes().size(), 1u);
}

}  // namespace
