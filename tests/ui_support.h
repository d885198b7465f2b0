#pragma once

// Drives the real main dialog inside a test: drops arrive as posted WM_DROPFILES messages, and
// a second thread reads and answers every box the dialog opens.

#include "tests/support/files.h"
#include "ui/converter_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ui_testing {

using Texts = std::vector<std::string>;

// The list lines of one batch followed by another's.
inline Texts operator+(Texts first, const Texts& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A modal box as the watcher found it, before it answered it.
struct SeenBox {
    std::string caption;
    std::string text;  // the box's static texts, one per line
    HWND owner = nullptr;
    RECT rect{};
};

// Records every visible dialog of this process but the main one and presses its OK button,
// one box at a time.
class BoxWatcher {
public:
    BoxWatcher();
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<SeenBox> boxes() const;
    Texts texts() const;

private:
    void watch();

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    std::thread thread_;
};

// The real ConverterDialog, run modally, carrying out test steps one after another whenever
// it is idle: no batch running and no box open. It closes itself after the last step.
class DialogDriver : public ConverterDialog {
public:
    using Step = std::function<void(DialogDriver&)>;

    // Returns the dialog's result; the lines of the list are kept in finalLines.
    INT_PTR run(std::vector<Step> steps);

    Texts lines() const;
    void postDrop(const Texts& paths) const;
    void postClick(int controlId) const;

    Texts finalLines;
    bool timedOut = false;
    DWORD runLimitMs = 60000;  // then the driver gives up and closes the dialog
    int unfinishedDrops = 0;   // drops whose handle the dialog did not release

    using ConverterDialog::icon;

protected:
    BOOL OnInitDialog() override;
    ui::MessageResult onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void onTick();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int batchDepth_ = 0;
    DWORD deadline_ = 0;
};

DialogDriver::Step dropFiles(Texts paths);

// The two list lines of one file.
Texts progressLines(const std::string& path, bool ok);

// The main dialog over a program folder with the fake converter as Tools\kindlegen.exe and a
// folder of books beside it; a watcher answers every box.
class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Every drop, refused or not, must be handed back to the shell.
    void TearDown() override { EXPECT_EQ(dialog.unfinishedDrops, 0); }

    std::string book(const std::string& name) const { return layout.book(name); }
    std::string addBook(const std::string& name, const std::string& text = "a line\r\nanother\r\n") const {
        test_support::writeFile(book(name), text);
        return book(name);
    }
    void converterBehaves(const std::string& config) const { ASSERT_TRUE(layout.converterBehaves(config)); }

    test_support::TempFolder temp;
    test_support::ProgramLayout layout{temp.path()};
    BoxWatcher watcher;
    DialogDriver dialog;
};

}  // namespace ui_testing
