#pragma once

#include <windows.h>

#include <cstddef>

namespace ui {

// What a handler hands back to the dialog procedure: either a result, or "not mine", which
// leaves the message to the system's default dialog processing.
struct MessageResult {
    bool handled;
    INT_PTR value;
};

constexpr MessageResult defaultProcessing() { return {false, 0}; }
constexpr MessageResult handled(INT_PTR value = 0) { return {true, value}; }

// One row of a dialog's message map. For WM_COMMAND rows, `controlId` picks the button whose
// click the row handles; other rows leave it 0.
template <class D>
struct MessageMapEntry {
    UINT message;
    int controlId;
    MessageResult (*handler)(D& dialog, WPARAM wParam, LPARAM lParam);
};

template <class D, std::size_t N>
MessageResult dispatchMessage(D& dialog, const MessageMapEntry<D> (&map)[N], UINT message, WPARAM wParam,
                              LPARAM lParam) {
    for (const MessageMapEntry<D>& entry : map) {
        if (entry.message != message) continue;
        if (message == WM_COMMAND && (LOWORD(wParam) != entry.controlId || HIWORD(wParam) != BN_CLICKED)) {
            continue;
        }
        return entry.handler(dialog, wParam, lParam);
    }
    return defaultProcessing();
}

// A modal dialog run from a template of the executable's resources. The object travels to the
// dialog procedure in the creation parameter and lives in GWLP_USERDATA while the window
// exists, so no global ties windows to objects.
class Dialog {
public:
    explicit Dialog(int templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog and returns when it has ended; `owner` (may be null) is disabled
    // meanwhile. The result is the code given to endDialog, or -1 when it could not be shown.
    INT_PTR runModal(HWND owner);

    // The dialog's window while it exists, null before and after.
    HWND hwnd() const { return hwnd_; }

    void endDialog(INT_PTR result);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Derived dialogs route messages to their handlers here, through their message map.
    virtual MessageResult onMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR initialise(HWND window);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    MessageResult handleCommand(WPARAM wParam);
    void centreUnlessPlaced(const RECT& before);

    int templateId_;
    HWND hwnd_ = nullptr;
};

}  // namespace ui
