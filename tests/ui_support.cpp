#include "ui_support.h"

#include "platform/mbstring.h"
#include "resource.h"

#include <shlobj.h>

#include <chrono>
#include <cstring>

namespace ui_testing {

namespace {

constexpr UINT_PTR kStepTimer = 0x7e57;
constexpr UINT kStepMs = 10;

bool hasClass(HWND window, const char* name) {
    char actual[64] = {};
    GetClassNameA(window, actual, sizeof actual);
    return std::strcmp(actual, name) == 0;
}

// The UI thread may be busy; never let the watcher hang on it.
std::string windowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &ignored);
    return text;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM joined) {
    if (!hasClass(child, "Static") || (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
    const std::string line = windowText(child);
    auto& text = *reinterpret_cast<std::string*>(joined);
    if (!line.empty()) text += (text.empty() ? "" : "\n") + line;
    return TRUE;
}

// The main dialog, known by its list, is never a box to answer.
BOOL CALLBACK findBox(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || !hasClass(window, "#32770") ||
        GetDlgItem(window, IDC_PROGRESS_LIST))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

SeenBox readBox(HWND box) {
    SeenBox seen{windowText(box), "", GetWindow(box, GW_OWNER), {}};
    GetWindowRect(box, &seen.rect);
    EnumChildWindows(box, collectStaticText, reinterpret_cast<LPARAM>(&seen.text));
    return seen;
}

// A shell drop of these ANSI names, as the shell would hand it over; DragFinish frees it.
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

void BoxWatcher::watch() {
    using Clock = std::chrono::steady_clock;
    while (!stop_) {
        HWND box = nullptr;
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&box));
        if (!box) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const SeenBox seen = readBox(box);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(seen);
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        const auto giveUp = Clock::now() + std::chrono::seconds(10);
        while (IsWindowVisible(box) && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

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
    ++batchDepth_;
    const ui::MessageResult result = ConverterDialog::onMessage(message, wParam, lParam);
    --batchDepth_;
    if (GlobalFlags(reinterpret_cast<HGLOBAL>(wParam)) != GMEM_INVALID_HANDLE) ++unfinishedDrops;
    return result;
}

// Timer messages also arrive inside a batch's message drain and inside the boxes' own loops;
// steps only run from the dialog's own loop with nothing else going on.
void DialogDriver::onTick() {
    timedOut = static_cast<LONG>(GetTickCount() - deadline_) > 0;
    if (!timedOut && (batchDepth_ > 0 || !IsWindowEnabled(hwnd()))) return;
    if (!timedOut && next_ < steps_.size()) {
        steps_[next_++](*this);
        return;
    }
    finalLines = lines();
    KillTimer(hwnd(), kStepTimer);
    endDialog(timedOut ? IDABORT : IDOK);
}

DialogDriver::Step dropFiles(Texts paths) {
    return [paths = std::move(paths)](DialogDriver& dialog) { dialog.postDrop(paths); };
}

Texts progressLines(const std::string& path, bool ok) { return {"正在转换 " + path, ok ? "转换成功！" : "转换失败！"}; }

void MainDialogTest::SetUp() {
    platform::useAnsiCodePage();
    ASSERT_TRUE(layout.ready());
    ASSERT_TRUE(dialog.locateConverterIn(layout.program));
}

}  // namespace ui_testing
