#pragma once

// Drives the real main dialog inside a test: drops arrive as posted WM_DROPFILES messages, and
// a second thread reads and answers every box the dialog opens.

#include "ui/converter_dialog.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ui_testing {

using Texts = std::vector<std::string>;

// A modal box as the watcher found it, before it answered it.
struct SeenBox {
    std::string caption;
    std::string text;  // the box's static texts, one per line
    HWND owner = nullptr;
    bool ownerEnabled = true;
    RECT rect{};
    RECT ownerRect{};
    int ownerListLines = -1;  // lines of the owner's progress list at that moment
};

// Finds every visible dialog-class window of this process except the one it is told to
// ignore, records it and presses its OK button, one box at a time.
class BoxWatcher {
public:
    BoxWatcher();
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    void ignore(HWND window) { ignored_ = window; }
    std::vector<SeenBox> boxes() const;
    Texts texts() const;
    Texts captions() const;

private:
    void watch();
    HWND findBox() const;
    void answer(HWND box);

    std::atomic<HWND> ignored_{nullptr};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    std::thread thread_;
};

// A shell drop of these ANSI names, as the shell would hand it over; DragFinish frees it.
HDROP makeDrop(const Texts& paths);

// The real ConverterDialog, run modally, carrying out test steps one after another whenever
// it is idle: no batch running and no box open. It closes itself after the last step.
class DialogDriver : public ConverterDialog {
public:
    // A step runs on the dialog's thread; it returns false to be called again later.
    using Step = std::function<bool(DialogDriver&)>;

    explicit DialogDriver(BoxWatcher& watcher);

    // Returns the dialog's result; the lines of the list are kept in finalLines.
    INT_PTR run(std::vector<Step> steps);

    Texts lines() const;
    void postDrop(const Texts& paths) const;
    void postClick(int controlId) const;

    Texts finalLines;
    bool timedOut = false;
    // How long a run may take before the driver gives up and closes the dialog.
    DWORD runLimitMs = 60000;
    int batchesStarted = 0;

    // The icon the window should carry, for comparison with what Windows reports.
    using ConverterDialog::icon;

protected:
    BOOL OnInitDialog() override;
    ui::MessageResult onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void onTick();

    BoxWatcher& watcher_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int batchDepth_ = 0;
    DWORD deadline_ = 0;
};

// Steps for the common cases.
DialogDriver::Step dropFiles(Texts paths);
DialogDriver::Step doOnce(std::function<void(DialogDriver&)> action);

}  // namespace ui_testing
