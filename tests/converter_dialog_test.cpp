// The main dialog under Wine: real drops, real boxes, the real list box.
#include "ui_support.h"

#include "app/converter_app.h"
#include "convert/path_helpers.h"
#include "platform/mbstring.h"
#include "platform/message.h"
#include "resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

using testing_support::exists;
using testing_support::makeFolder;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;
using ui_testing::DialogDriver;
using ui_testing::doOnce;
using ui_testing::dropFiles;
using ui_testing::Texts;

namespace {

const char kConverting[] = "正在转换 ";
const char kSucceeded[] = "转换成功！";
const char kFailed[] = "转换失败！";
const char kAboutCaption[] = "关于 Tomewright";

Texts progressLines(const std::string& path, bool ok) {
    return {kConverting + path, ok ? kSucceeded : kFailed};
}

Texts operator+(Texts first, const Texts& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

int centre(LONG low, LONG high) { return static_cast<int>((low + high) / 2); }

// A program folder with the fake converter as Tools\kindlegen.exe, and a folder of books.
class MainDialog : public ::testing::Test {
protected:
    void SetUp() override {
        platform::useAnsiCodePage();
        ASSERT_TRUE(makeFolder(program));
        ASSERT_TRUE(makeFolder(tools));
        ASSERT_TRUE(makeFolder(books));
        ASSERT_TRUE(testing_support::copyProgram(
            testing_support::executableFolder() + "\\fake_converter.exe", tools + "\\kindlegen.exe"));
        ASSERT_TRUE(dialog.locateConverterIn(program));
    }

    std::string book(const std::string& name) const { return books + "\\" + name; }

    std::string addBook(const std::string& name) {
        EXPECT_TRUE(writeFile(book(name), "text of " + name + "\r\n"));
        return book(name);
    }

    void converterBehaves(const std::string& config) const {
        ASSERT_TRUE(writeFile(tools + "\\fake_converter.cfg", config));
    }

    // The sources the converter was started on, in order.
    Texts converterSources() const {
        Texts sources;
        std::istringstream log(readFile(tools + "\\fake_converter.log").value_or(""));
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("arg=", 0) == 0 && line != "arg=-c2") sources.push_back(line.substr(4));
        }
        return sources;
    }

    // Posts `action` from another thread once the converter has been started `runs` times,
    // i.e. while the UI thread waits for it.
    std::thread whenConverterRuns(std::size_t runs, std::function<void()> action) const {
        return std::thread([this, runs, action] {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (converterSources().size() < runs && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            action();
        });
    }

    TempFolder temp;
    std::string program = temp / "program";
    std::string tools = program + "\\Tools";
    std::string books = temp / "books";
    ui_testing::BoxWatcher watcher;
    DialogDriver dialog{watcher};
};

TEST_F(MainDialog, DropListsEachFileAndItsResultInOrder) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");
    const std::string chinese = addBook("小说.html");

    EXPECT_EQ(dialog.run({dropFiles({a, b})}), IDOK);
    EXPECT_EQ(dialog.finalLines, progressLines(a, true) + progressLines(b, true));
    EXPECT_TRUE(exists(book("a.mobi")));
    EXPECT_TRUE(exists(book("b.mobi")));
    EXPECT_FALSE(exists(book("a.htm")));

    dialog.run({dropFiles({chinese})});
    EXPECT_EQ(dialog.finalLines, progressLines(chinese, true));
    EXPECT_TRUE(exists(book("小说.mobi")));
    EXPECT_EQ(watcher.texts(), Texts{});
    EXPECT_FALSE(dialog.timedOut);
}

TEST_F(MainDialog, RefusedFileEndsTheBatchAndFailedConversionsDoNot) {
    const std::string a = addBook("a.txt");
    const std::string doc = addBook("notes.doc");
    const std::string c = addBook("c.html");
    const std::string opf = addBook("x.opf");
    const std::string epub = addBook("e.epub");
    const std::string text = addBook("f.txt");
    ASSERT_TRUE(makeFolder(book("e.mobi")));  // a stale output that cannot be deleted
    Texts afterRefusal;

    dialog.run({dropFiles({a, doc, c}), doOnce([&](DialogDriver& d) {
                    afterRefusal = d.lines();
                    converterBehaves("mode=none\n");
                }),
                dropFiles({opf, epub, text})});

    EXPECT_EQ(afterRefusal, progressLines(a, true));
    EXPECT_FALSE(exists(book("c.mobi")));
    EXPECT_EQ(dialog.finalLines,
              progressLines(opf, false) + progressLines(epub, false) + progressLines(text, false));
    EXPECT_EQ(watcher.texts(),
              (Texts{"不支持的文件类型(doc)！", "不支持的文件类型(opf)！",
                     "删除目标文件 " + book("e.mobi") + " 失败！请手动删除该文件后再转换一次。",
                     "转换失败！未找到转换后的文件。"}));
    EXPECT_EQ(converterSources(), (Texts{book("a.htm"), book("f.htm")}));
}

TEST_F(MainDialog, BatchRefusedAtItsFirstFileKeepsThePreviousLines) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");
    const std::string missing = book("missing.txt");
    Texts afterMissing;

    dialog.run({dropFiles({a}), dropFiles({missing, b}),
                doOnce([&](DialogDriver& d) { afterMissing = d.lines(); }), dropFiles({b})});

    EXPECT_EQ(afterMissing, progressLines(a, true));
    EXPECT_EQ(dialog.finalLines, progressLines(b, true));
    EXPECT_EQ(watcher.texts(), Texts{"文件 " + missing + " 不存在！"});
    EXPECT_EQ(converterSources(), (Texts{book("a.htm"), b}));
}

TEST_F(MainDialog, DropCheckTakesExtensionsAsTheyAreWrittenAndFoldersAlike) {
    const std::string upper = addBook("A.TXT");
    const std::string plainFolder = book("plain");
    const std::string dottedFolder = temp / "my.docs";
    const std::string epubFolder = book("books.epub");
    for (const std::string& folder : {plainFolder, dottedFolder, dottedFolder + "\\books", epubFolder}) {
        ASSERT_TRUE(makeFolder(folder));
    }
    ASSERT_EQ(temp.path().find('.'), std::string::npos);

    dialog.run({dropFiles({upper}), dropFiles({plainFolder}), dropFiles({dottedFolder + "\\books"}),
                dropFiles({epubFolder})});

    EXPECT_EQ(watcher.texts(), (Texts{"不支持的文件类型(TXT)！", "不支持的文件类型()！",
                                      "不支持的文件类型(docs\\books)！"}));
    ASSERT_EQ(dialog.finalLines.size(), 2u);
    EXPECT_EQ(dialog.finalLines[0], kConverting + epubFolder);
    EXPECT_EQ(converterSources(), Texts{epubFolder});
}

TEST_F(MainDialog, EveryDropIsFinishedWhateverBecomesOfIt) {
    const std::string a = addBook("a.txt");
    // No empty drop: Wine counts an empty list as one empty name, and the shell never sends one.
    const Texts drops[] = {{book("missing.txt")}, {addBook("x.doc")}, {a}};
    std::vector<UINT> flagsAfter;

    dialog.run({doOnce([&](DialogDriver& d) {
        for (const Texts& paths : drops) {
            const HDROP drop = ui_testing::makeDrop(paths);
            SendMessageA(d.hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
            flagsAfter.push_back(GlobalFlags(drop));
        }
    })});

    EXPECT_EQ(flagsAfter, std::vector<UINT>(3, GMEM_INVALID_HANDLE));  // DragFinish freed each
    EXPECT_EQ(watcher.texts(), (Texts{"文件 " + book("missing.txt") + " 不存在！", "不支持的文件类型(doc)！"}));
    EXPECT_EQ(dialog.finalLines, progressLines(a, true));
}

TEST_F(MainDialog, LongNamesAreTakenWhole) {
    // Long enough that a 200-byte buffer would cut it, short enough for the ANSI file calls.
    const std::string name = std::string(215 - books.size(), 'n') + ".txt";
    const std::string path = addBook(name);
    ASSERT_GT(path.size(), 200u);
    ASSERT_TRUE(writeFile(path.substr(0, 199), "a file the cut name would find"));

    dialog.run({dropFiles({path})});

    EXPECT_EQ(dialog.finalLines, progressLines(path, true));
    EXPECT_TRUE(exists(stripExtension(path) + ".mobi"));
    EXPECT_EQ(converterSources(), Texts{stripExtension(path) + ".htm"});
    EXPECT_EQ(watcher.texts(), Texts{});
}

TEST_F(MainDialog, AboutClickedDuringAConversionOpensOnceItEndsAndTheBatchGoesOn) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");
    converterBehaves("delay_ms=1000\n");  // room for the click to land during the wait
    HWND main = nullptr;
    std::thread clicker;

    dialog.run({doOnce([&](DialogDriver& d) {
        main = d.hwnd();
        d.postDrop({a, b});
        clicker = whenConverterRuns(1, [&d] { d.postClick(IDC_ABOUT_BUTTON); });
    })});
    clicker.join();

    EXPECT_EQ(dialog.finalLines, progressLines(a, true) + progressLines(b, true));
    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kAboutCaption);
    EXPECT_EQ(boxes[0].owner, main);
    EXPECT_FALSE(boxes[0].ownerEnabled);
    EXPECT_EQ(boxes[0].ownerListLines, 2);  // a's result was listed, b not yet started
}

TEST_F(MainDialog, DropDuringABatchRunsAsANestedBatchThatEmptiesTheList) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");
    const std::string c = addBook("c.html");
    converterBehaves("delay_ms=1000\n");
    std::thread dropper;

    dialog.run({doOnce([&](DialogDriver& d) {
        d.postDrop({a, b});
        dropper = whenConverterRuns(1, [&d, c] { d.postDrop({c}); });
    })});
    dropper.join();

    EXPECT_EQ(dialog.batchesStarted, 2);
    EXPECT_EQ(dialog.finalLines, progressLines(c, true) + progressLines(b, true));
    EXPECT_EQ(converterSources(), (Texts{book("a.htm"), c, b}));
}

TEST_F(MainDialog, CloseDuringABatchEndsTheDialogAfterTheBatch) {
    const std::string a = addBook("a.txt");
    const std::string b = addBook("b.epub");

    const INT_PTR result = dialog.run({doOnce([&](DialogDriver& d) {
        d.postDrop({a, b});
        d.postClick(IDOK);
    })});

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.hwnd(), nullptr);
    EXPECT_TRUE(exists(book("a.mobi")));
    EXPECT_TRUE(exists(book("b.mobi")));
    EXPECT_FALSE(exists(book("a.htm")));
}

TEST_F(MainDialog, CloseButtonEnterEscapeAndCloseBoxEndTheDialog) {
    struct Way {
        const char* name;
        std::function<void(HWND)> close;
        INT_PTR result;
    };
    const Way ways[] = {
        {"Close button", [](HWND w) { SendMessageA(GetDlgItem(w, IDOK), BM_CLICK, 0, 0); }, IDOK},
        {"Enter", [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0); }, IDOK},
        {"Escape", [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }, IDCANCEL},
        {"caption close box", [](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); }, IDCANCEL},
        {"system menu Close", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
    };
    for (const Way& way : ways) {
        bool focusOnClose = false;
        const INT_PTR result = dialog.run({[&](DialogDriver& d) {
            focusOnClose = GetFocus() == GetDlgItem(d.hwnd(), IDOK);
            way.close(d.hwnd());
            return true;
        }, [](DialogDriver&) { return false; }});
        EXPECT_EQ(result, way.result) << way.name;
        EXPECT_TRUE(focusOnClose) << way.name;
    }
    EXPECT_EQ(watcher.texts(), Texts{});
}

TEST_F(MainDialog, SystemMenuIconsAndAboutBox) {
    HWND main = nullptr;
    RECT mainRect{};
    std::string aboutItem;
    UINT aboutId = 0;
    UINT separatorState = 0;

    dialog.run({doOnce([&](DialogDriver& d) {
                    main = d.hwnd();
                    GetWindowRect(main, &mainRect);
                    const HMENU menu = GetSystemMenu(main, FALSE);
                    const int count = GetMenuItemCount(menu);
                    char text[128] = {};
                    GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
                    aboutItem = text;
                    aboutId = GetMenuItemID(menu, count - 1);
                    separatorState = GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION);
                    const auto icon = reinterpret_cast<LRESULT>(d.icon);
                    EXPECT_NE(d.icon, nullptr);
                    EXPECT_EQ(SendMessageA(main, WM_GETICON, ICON_BIG, 0), icon);
                    EXPECT_EQ(SendMessageA(main, WM_GETICON, ICON_SMALL, 0), icon);
                    EXPECT_EQ(SendMessageA(main, WM_QUERYDRAGICON, 0, 0), icon);
                    PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
                }),
                doOnce([](DialogDriver& d) { PostMessageA(d.hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX | 3, 0); }),
                doOnce([](DialogDriver& d) { d.postClick(IDC_ABOUT_BUTTON); })});

    EXPECT_EQ(aboutItem, "关于 Tomewright(&A)...");
    EXPECT_EQ(aboutId, static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_TRUE(separatorState & MF_SEPARATOR);

    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(centre(mainRect.left, mainRect.right), centre(work.left, work.right), 1);
    EXPECT_NEAR(centre(mainRect.top, mainRect.bottom), centre(work.top, work.bottom), 1);

    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, kAboutCaption);
        EXPECT_EQ(box.text, "Tomewright v1.0.0.4\nCopyright (C) 2026 Tomewright\nhttps://tomewright.example");
        EXPECT_EQ(box.owner, main);
        EXPECT_FALSE(box.ownerEnabled);
        EXPECT_NEAR(centre(box.rect.left, box.rect.right), centre(mainRect.left, mainRect.right), 1);
        EXPECT_NEAR(centre(box.rect.top, box.rect.bottom), centre(mainRect.top, mainRect.bottom), 1);
    }
}

TEST_F(MainDialog, MinimisedWindowPaintsItsIcon) {
    bool minimised = false;
    dialog.run({doOnce([&](DialogDriver& d) {
        ShowWindow(d.hwnd(), SW_MINIMIZE);
        minimised = IsIconic(d.hwnd()) != FALSE;
        InvalidateRect(d.hwnd(), nullptr, TRUE);
        UpdateWindow(d.hwnd());
        ShowWindow(d.hwnd(), SW_RESTORE);
    })});
    EXPECT_TRUE(minimised);
    EXPECT_FALSE(dialog.timedOut);
}

TEST_F(MainDialog, ConverterIsLookedForUnderToolsWithADoubledSeparator) {
    EXPECT_EQ(dialog.converterPath, program + "\\\\Tools\\kindlegen.exe");
    EXPECT_EQ(dialog.programDirectory, program);

    const std::string folderOnly = temp / "folder-only";
    for (const char* level : {"", "\\Tools", "\\Tools\\kindlegen.exe"}) {
        ASSERT_TRUE(makeFolder(folderOnly + level));
    }
    EXPECT_TRUE(dialog.locateConverterIn(folderOnly));

    const std::string empty = temp / "empty";
    ASSERT_TRUE(makeFolder(empty));
    EXPECT_FALSE(dialog.locateConverterIn(empty));
    EXPECT_EQ(dialog.converterPath, empty + "\\\\Tools\\kindlegen.exe");

    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "kindlegen.exe 不存在，请将该程序文件放到 Tools 目录下。");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].caption, platform::defaultTitle());
}

TEST(Application, MissingConverterShowsOnlyTheMessageAndLeavesNoMainWindow) {
    platform::useAnsiCodePage();
    if (exists(programDirectory() + "\\Tools\\kindlegen.exe")) {
        GTEST_SKIP() << "a converter lies beside the test program";
    }
    ui_testing::BoxWatcher watcher;
    ConverterApp app;

    EXPECT_FALSE(app.InitInstance());

    EXPECT_EQ(app.mainWindow(), nullptr);
    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "kindlegen.exe 不存在，请将该程序文件放到 Tools 目录下。");
    EXPECT_EQ(boxes[0].owner, nullptr);
}

}  // namespace
