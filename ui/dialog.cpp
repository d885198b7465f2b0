#include "ui/dialog.h"

#include "ui/layout.h"

namespace ui {

namespace {

Box toBox(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

Box workArea() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return toBox(area);
}

// For these messages a dialog procedure returns the result itself; for all others it goes
// through DWLP_MSGRESULT and the procedure only says "handled".
bool returnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

}  // namespace

Dialog::Dialog(int templateId) : templateId_(templateId) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::runModal(HWND owner) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner, dialogProcedure,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::endDialog(INT_PTR result) {
    if (hwnd_) EndDialog(hwnd_, result);
}

BOOL Dialog::OnInitDialog() { return TRUE; }

void Dialog::OnOK() { endDialog(IDOK); }

void Dialog::OnCancel() { endDialog(IDCANCEL); }

MessageResult Dialog::onMessage(UINT, WPARAM, LPARAM) { return defaultProcessing(); }

INT_PTR CALLBACK Dialog::dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
        return dialog->initialise(window);
    }
    // Messages sent before WM_INITDIALOG (WM_SETFONT and the like) find no object yet.
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!dialog) return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        dialog->hwnd_ = nullptr;
        return FALSE;
    }
    return dialog->handleMessage(message, wParam, lParam);
}

INT_PTR Dialog::initialise(HWND window) {
    hwnd_ = window;
    RECT before{};
    GetWindowRect(window, &before);
    const BOOL result = OnInitDialog();
    centreUnlessPlaced(before);
    return result;
}

void Dialog::centreUnlessPlaced(const RECT& before) {
    if (!hwnd_ || (GetWindowLongA(hwnd_, GWL_STYLE) & DS_CENTER)) return;
    RECT now{};
    GetWindowRect(hwnd_, &now);
    if (now.left != before.left || now.top != before.top) return;

    const Box area = workArea();
    Box over = area;
    const HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        RECT ownerRect{};
        GetWindowRect(owner, &ownerRect);
        over = toBox(ownerRect);
    }
    const Point origin = centredOrigin(toBox(now), over, area);
    SetWindowPos(hwnd_, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR Dialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    MessageResult result = onMessage(message, wParam, lParam);
    if (!result.handled && message == WM_COMMAND) result = handleCommand(wParam);
    if (!result.handled) return FALSE;
    if (returnsResultDirectly(message)) return result.value;
    SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result.value);
    return TRUE;
}

// Enter and the default button arrive as IDOK; Escape, the caption's close box and Close on
// the system menu all arrive as IDCANCEL (the default processing turns WM_CLOSE into it).
MessageResult Dialog::handleCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return handled();
    case IDCANCEL:
        OnCancel();
        return handled();
    default:
        return defaultProcessing();
    }
}

}  // namespace ui
