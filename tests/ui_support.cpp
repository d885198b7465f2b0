#include "ui_support.h"

#include "resource.h"

#include <shlobj.h>

#include <chrono>
#include <cstring>

namespace ui_testing {

namespace {

constexpr UINT_PTR kStepTimer = 0x7e57;
constexpr UINT kStepMs = 10;
constexpr UINT kSendTimeoutMs = 2000;

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The UI thread may be busy; never let the watcher hang on it.
std::string windowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
    return text;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM lines) {
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (className(child) == "Static" && (style & SS_TYPEMASK) != SS_ICON) {
        const std::string text = windowText(child);
        if (!text.empty()) reinterpret_cast<Texts*>(lines)->push_back(text);
    }
    return TRUE;
}

std::string joinLines(const Texts& lines) {
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : "\n") + line;
    return joined;
}

struct BoxSearch {
    DWORD process;
    HWND ignored;
    HWND found;
};

BOOL CALLBACK findDialogWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || window == search->ignored || !IsWindowVisible(window) ||
        className(window) != "#32770") {
        return TRUE;
    }
    // The main dialog is never a box to answer, whatever handle it was registered under.
    if (GetDlgItem(window, IDC_PROGRESS_LIST)) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

BoxWatcher::BoxWatcher() : thread_([this] { watch(); }) {}

BoxWatcher::~BoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> BoxWatcher::boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

Texts BoxWatcher::texts() const {
    Texts texts;
    for (const SeenBox& box : boxes()) texts.push_back(box.text);
    return texts;
}

Texts BoxWatcher::captions() const {
    Texts captions;
    for (const SeenBox& box : boxes()) captions.push_back(box.caption);
    return captions;
}

void BoxWatcher::watch() {
    while (!stop_) {
        if (const HWND box = findBox()) {
            answer(box);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

HWND BoxWatcher::findBox() const {
    BoxSearch search{GetCurrentProcessId(), ignored_, nullptr};
    EnumWindows(findDialogWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void BoxWatcher::answer(HWND box) {
    SeenBox seen;
    seen.caption = windowText(box);
    Texts lines;
    EnumChildWindows(box, collectStaticText, reinterpret_cast<LPARAM>(&lines));
    seen.text = joinLines(lines);
    seen.owner = GetWindow(box, GW_OWNER);
    seen.ownerEnabled = seen.owner && IsWindowEnabled(seen.owner);
    GetWindowRect(box, &seen.rect);
    if (seen.owner) {
        GetWindowRect(seen.owner, &seen.ownerRect);
        DWORD_PTR count = 0;
        if (SendMessageTimeoutA(GetDlgItem(seen.owner, IDC_PROGRESS_LIST), LB_GETCOUNT, 0, 0,
                                SMTO_ABORTIFHUNG, kSendTimeoutMs, &count)) {
            seen.ownerListLines = static_cast<int>(count);
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(seen);
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (IsWindow(box) && IsWindowVisible(box) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

HDROP makeDrop(const Texts& paths) {
    std::size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths) size += path.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* name = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& path : paths) {
        std::memcpy(name, path.c_str(), path.size() + 1);
        name += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

DialogDriver::DialogDriver(BoxWatcher& watcher) : watcher_(watcher) {}

INT_PTR DialogDriver::run(std::vector<Step> steps) {
    steps_ = std::move(steps);
    next_ = 0;
    return runModal(nullptr);
}

Texts DialogDriver::lines() const {
    Texts lines;
    for (int i = 0; i < progressList.count(); ++i) lines.push_back(progressList.text(i));
    return lines;
}

void DialogDriver::postDrop(const Texts& paths) const {
    PostMessageA(hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(paths)), 0);
}

void DialogDriver::postClick(int controlId) const {
    PostMessageA(hwnd(), WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd(), controlId)));
}

BOOL DialogDriver::OnInitDialog() {
    const BOOL result = ConverterDialog::OnInitDialog();
    watcher_.ignore(hwnd());
    deadline_ = GetTickCount() + runLimitMs;
    SetTimer(hwnd(), kStepTimer, kStepMs, nullptr);
    return result;
}

ui::MessageResult DialogDriver::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kStepTimer) {
        onTick();
        return ui::handled();
    }
    if (message != WM_DROPFILES) return ConverterDialog::onMessage(message, wParam, lParam);
    ++batchesStarted;
    ++batchDepth_;
    const ui::MessageResult result = ConverterDialog::onMessage(message, wParam, lParam);
    --batchDepth_;
    return result;
}

// Timer messages also arrive inside a batch's message drain and inside the boxes' own loops;
// steps only run from the dialog's own loop with nothing else going on.
void DialogDriver::onTick() {
    if (static_cast<LONG>(GetTickCount() - deadline_) > 0) {
        timedOut = true;
        finalLines = lines();
        KillTimer(hwnd(), kStepTimer);
        endDialog(IDABORT);
        return;
    }
    if (batchDepth_ > 0 || !IsWindowEnabled(hwnd())) return;
    if (next_ < steps_.size()) {
        if (steps_[next_](*this)) ++next_;
        return;
    }
    finalLines = lines();
    KillTimer(hwnd(), kStepTimer);
    endDialog(IDOK);
}

DialogDriver::Step dropFiles(Texts paths) {
    return [paths = std::move(paths)](DialogDriver& dialog) {
        dialog.postDrop(paths);
        return true;
    };
}

DialogDriver::Step doOnce(std::function<void(DialogDriver&)> action) {
    return [action = std::move(action)](DialogDriver& dialog) {
        action(dialog);
        return true;
    };
}

}  // namespace ui_testing
