// Looks at the windows of another process for the end-to-end driver. Wine marshals the text
// messages used here as Unicode across processes; everything is printed as UTF-8.
//
// The driver polls; the probe only looks once.
//
//   probe windows                      every top-level window: hwnd, visible, class, title
//   probe texts <hwnd>                 the window's title, then id, class and text of each child
//   probe list <hwnd>                  the lines of the window's list box
//   probe rect <hwnd> [<control id>]   screen rectangle: left top right bottom
//
// Exit status: 0 done, 1 not found, 2 bad usage.
#include <windows.h>
// shellapi.h needs the types from windows.h.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr UINT kSendTimeoutMs = 2000;

void writeLine(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int wideLength = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, bytes.data(), size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::wstring hwndText(HWND window) { return std::to_wstring(reinterpret_cast<ULONG_PTR>(window)); }

unsigned long parseNumber(const wchar_t* text) { return std::wcstoul(text, nullptr, 0); }

HWND parseHwnd(const wchar_t* text) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(parseNumber(text))); }

// A hung target must not hang the probe, so every cross-process send has a time limit.
LRESULT sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return -1;
    return static_cast<LRESULT>(result);
}

std::wstring windowText(HWND window) {
    wchar_t text[1024] = {};
    sendWithTimeout(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring className(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// On i686 the enumeration callbacks are stdcall, which a lambda cannot convert to.
BOOL CALLBACK collectWindow(HWND window, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, collectWindow, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND findListBox(HWND parent) {
    for (HWND child : childWindows(parent))
        if (_wcsicmp(className(child).c_str(), L"ListBox") == 0) return child;
    return nullptr;
}

std::vector<std::wstring> listLines(HWND listBox) {
    std::vector<std::wstring> lines;
    const LRESULT count = sendWithTimeout(listBox, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = sendWithTimeout(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::vector<wchar_t> buffer(static_cast<size_t>(length < 0 ? 0 : length) + 1);
        sendWithTimeout(listBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
        lines.emplace_back(buffer.data());
    }
    return lines;
}

int listWindows() {
    for (HWND window : topLevelWindows())
        writeLine(hwndText(window) + L"\t" + (IsWindowVisible(window) ? L"1" : L"0") + L"\t" + className(window) +
                  L"\t" + windowText(window));
    return 0;
}

int printTexts(HWND window) {
    if (!IsWindow(window)) return 1;
    writeLine(windowText(window));
    for (HWND child : childWindows(window))
        writeLine(std::to_wstring(GetDlgCtrlID(child)) + L"\t" + className(child) + L"\t" + windowText(child));
    return 0;
}

int printList(HWND window) {
    HWND listBox = findListBox(window);
    if (!listBox) return 1;
    for (const std::wstring& line : listLines(listBox)) writeLine(line);
    return 0;
}

int printRect(HWND window, const wchar_t* controlId) {
    HWND target = controlId ? GetDlgItem(window, static_cast<int>(parseNumber(controlId))) : window;
    RECT rect{};
    if (!target || !GetWindowRect(target, &rect)) return 1;
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
}

int run(const std::vector<std::wstring>& args) {
    const size_t n = args.size();
    const std::wstring command = n > 1 ? args[1] : L"";
    if (command == L"windows" && n == 2) return listWindows();
    if (command == L"texts" && n == 3) return printTexts(parseHwnd(args[2].c_str()));
    if (command == L"list" && n == 3) return printList(parseHwnd(args[2].c_str()));
    if (command == L"rect" && (n == 3 || n == 4))
        return printRect(parseHwnd(args[2].c_str()), n == 4 ? args[3].c_str() : nullptr);
    std::fputs("usage: probe windows|texts|list|rect ...\n", stderr);
    return 2;
}

}  // namespace

int main() {
    // Plain \n line ends: the driver compares whole lines.
    _setmode(_fileno(stdout), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    const std::vector<std::wstring> args(argv, argv + argc);
    LocalFree(argv);
    const int status = run(args);
    std::fflush(stdout);
    return status;
}
