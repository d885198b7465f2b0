#include "ui/converter_dialog.h"

#include "convert/messages.h"
#include "convert/path_helpers.h"
#include "resource.h"
#include "ui/about_dialog.h"
#include "ui/layout.h"
#include "ui/message_pump.h"
#include "ui/system_menu.h"

#include <windows.h>

namespace {

// Ends the shell's drop on every way out of the handler.
class DropHandle {
public:
    explicit DropHandle(HDROP handle) : handle_(handle) {}
    ~DropHandle() { DragFinish(handle_); }
    DropHandle(const DropHandle&) = delete;
    DropHandle& operator=(const DropHandle&) = delete;

    UINT count() const { return DragQueryFileA(handle_, 0xFFFFFFFF, nullptr, 0); }

    // Asks for the length first: a fixed buffer would cut a long name, and the cut name could
    // name some other file.
    std::string name(UINT index) const {
        const UINT length = DragQueryFileA(handle_, index, nullptr, 0);
        std::string name(length + 1, '\0');
        const UINT copied = DragQueryFileA(handle_, index, &name[0], length + 1);
        name.resize(copied);
        return name;
    }

private:
    HDROP handle_;
};

class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window_, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace

const ui::MessageMapEntry<ConverterDialog> ConverterDialog::messageMap[] = {
    {WM_SYSCOMMAND, 0, [](ConverterDialog& d, WPARAM w, LPARAM l) { return d.OnSysCommand(static_cast<UINT>(w), l); }},
    {WM_PAINT, 0, [](ConverterDialog& d, WPARAM, LPARAM) { return d.OnPaint(); }},
    {WM_QUERYDRAGICON, 0,
     [](ConverterDialog& d, WPARAM, LPARAM) { return ui::handled(reinterpret_cast<INT_PTR>(d.OnQueryDragIcon())); }},
    {WM_DROPFILES, 0,
     [](ConverterDialog& d, WPARAM w, LPARAM) {
         d.OnDropFiles(reinterpret_cast<HDROP>(w));
         return ui::defaultProcessing();
     }},
    {WM_COMMAND, IDC_ABOUT_BUTTON,
     [](ConverterDialog& d, WPARAM, LPARAM) {
         d.OnAboutButton();
         return ui::handled();
     }},
};

ConverterDialog::ConverterDialog()
    : ui::Dialog(IDD_CONVERTER_DIALOG), icon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

bool ConverterDialog::locateConverter() { return locateConverterIn(::programDirectory()); }

bool ConverterDialog::locateConverterIn(const std::string& directory) {
    programDirectory = directory;
    // The separator stands twice in the usual case; Windows reads "\\" as one.
    converterPath = withTrailingBackslash(programDirectory) + "\\Tools\\kindlegen.exe";
    if (fileExists(converterPath)) return true;
    showMessage(messages::kConverterMissing);
    return false;
}

ui::MessageResult ConverterDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ui::dispatchMessage(*this, messageMap, message, wParam, lParam);
}

BOOL ConverterDialog::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    progressList.attach(GetDlgItem(hwnd(), IDC_PROGRESS_LIST));
    ui::appendAboutItem(GetSystemMenu(hwnd(), FALSE), ui::loadString(IDS_ABOUTBOX));
    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return TRUE;
}

ui::MessageResult ConverterDialog::OnSysCommand(UINT commandId, LPARAM) {
    if ((commandId & 0xFFF0) != IDM_ABOUTBOX) return ui::defaultProcessing();
    showAboutBox();
    return ui::handled();
}

void ConverterDialog::OnAboutButton() { showAboutBox(); }

void ConverterDialog::showAboutBox() {
    ui::AboutDialog about;
    about.runModal(hwnd());
}

ui::MessageResult ConverterDialog::OnPaint() {
    if (!IsIconic(hwnd())) return ui::defaultProcessing();
    PaintScope paint(hwnd());
    SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    RECT client{};
    GetClientRect(hwnd(), &client);
    const ui::Point origin = ui::minimizedIconOrigin(client.right - client.left, client.bottom - client.top,
                                                     GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(paint.dc(), origin.x, origin.y, icon);
    return ui::handled();
}

HCURSOR ConverterDialog::OnQueryDragIcon() const { return static_cast<HCURSOR>(icon); }

void ConverterDialog::OnDropFiles(HDROP dropHandle) {
    const DropHandle drop(dropHandle);
    const UINT count = drop.count();
    for (UINT i = 0; i < count; ++i) {
        const std::string path = drop.name(i);
        if (!admitDroppedFile(path)) return;
        if (i == 0) {
            progressList.resetContent();
            ui::pumpMessages();
        }
        addProgressLine(messages::converting(path));
        const bool ok = convertFile(path);
        addProgressLine(ok ? messages::kSucceeded : messages::kFailed);
    }
}

bool ConverterDialog::admitDroppedFile(const std::string& path) {
    if (!fileExists(path)) {
        showMessage(messages::fileMissing(path));
        return false;
    }
    const std::string ext = fileExtension(path);
    if (sourceKind(ext) == SourceKind::NotAccepted) {
        showMessage(messages::unsupportedType(ext));
        return false;
    }
    return true;
}

// Nothing scrolls or selects: new lines may fall below the visible part of a long list.
void ConverterDialog::addProgressLine(const std::string& text) {
    progressList.addString(text);
    ui::pumpMessages();
}
