// The dialog layer's own logic: window arithmetic, message routing, the system menu entry.
#include "resource.h"
#include "ui/dialog.h"
#include "ui/layout.h"
#include "ui/message_pump.h"
#include "ui/system_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MinimizedIcon, IsCentredRoundingHalfPixelsUp) {
    const ui::Point even = ui::minimizedIconOrigin(36, 36, 32, 32);
    const ui::Point odd = ui::minimizedIconOrigin(37, 37, 32, 32);
    EXPECT_EQ(even.x, 2);
    EXPECT_EQ(even.y, 2);
    EXPECT_EQ(odd.x, 3);
    EXPECT_EQ(odd.y, 3);
    // Narrower than the icon: truncation toward zero, not flooring.
    const ui::Point narrow = ui::minimizedIconOrigin(30, 28, 32, 32);
    EXPECT_EQ(narrow.x, 0);
    EXPECT_EQ(narrow.y, -1);
}

TEST(Centring, CentresOverTheGivenAreaAndStaysOnTheWorkArea) {
    const ui::Box screen{0, 0, 1280, 1000};
    const ui::Box dialog{0, 0, 400, 200};
    const ui::Point onScreen = ui::centredOrigin(dialog, screen, screen);
    EXPECT_EQ(onScreen.x, 440);
    EXPECT_EQ(onScreen.y, 400);

    const ui::Point overOwner = ui::centredOrigin(dialog, {50, 100, 250, 200}, screen);
    EXPECT_EQ(overOwner.x, 0);  // would start at -50, pushed back onto the screen
    EXPECT_EQ(overOwner.y, 50);

    const ui::Point nearEdge = ui::centredOrigin(dialog, {1100, 900, 1280, 1000}, screen);
    EXPECT_EQ(nearEdge.x, 880);
    EXPECT_EQ(nearEdge.y, 800);
}

struct Recorder {
    std::vector<std::string> calls;
};

ui::MessageResult onPaint(Recorder& r, WPARAM, LPARAM) {
    r.calls.push_back("paint");
    return ui::handled(7);
}

ui::MessageResult onAbout(Recorder& r, WPARAM, LPARAM) {
    r.calls.push_back("about");
    return ui::handled();
}

ui::MessageResult onOtherPaint(Recorder& r, WPARAM, LPARAM) {
    r.calls.push_back("second paint row");
    return ui::handled();
}

const ui::MessageMapEntry<Recorder> recorderMap[] = {
    {WM_PAINT, 0, onPaint},
    {WM_COMMAND, 1002, onAbout},
    {WM_PAINT, 0, onOtherPaint},
};

TEST(MessageMap, FirstMatchingRowHandlesAndOnlyClicksOfItsControlReachCommandRows) {
    Recorder recorder;
    const ui::MessageResult paint = ui::dispatchMessage(recorder, recorderMap, WM_PAINT, 0, 0);
    EXPECT_TRUE(paint.handled);
    EXPECT_EQ(paint.value, 7);

    EXPECT_TRUE(ui::dispatchMessage(recorder, recorderMap, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), 0).handled);
    EXPECT_FALSE(ui::dispatchMessage(recorder, recorderMap, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0).handled);
    EXPECT_FALSE(ui::dispatchMessage(recorder, recorderMap, WM_COMMAND, MAKEWPARAM(1002, BN_SETFOCUS), 0).handled);
    EXPECT_FALSE(ui::dispatchMessage(recorder, recorderMap, WM_SIZE, 0, 0).handled);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"paint", "about"}));
}

class Menu {
public:
    Menu() : menu_(CreatePopupMenu()) {}
    ~Menu() { DestroyMenu(menu_); }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
    HMENU get() const { return menu_; }

private:
    HMENU menu_;
};

TEST(SystemMenu, AboutItemFollowsASeparatorUnlessItsTextIsEmpty) {
    Menu empty;
    ui::appendAboutItem(empty.get(), "");
    EXPECT_EQ(GetMenuItemCount(empty.get()), 0);

    Menu menu;
    AppendMenuA(menu.get(), MF_STRING, SC_CLOSE, "Close");
    ui::appendAboutItem(menu.get(), ui::loadString(IDS_ABOUTBOX));
    ASSERT_EQ(GetMenuItemCount(menu.get()), 3);
    EXPECT_TRUE(GetMenuState(menu.get(), 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu.get(), 2), static_cast<UINT>(IDM_ABOUTBOX));
    char text[64] = {};
    GetMenuStringA(menu.get(), 2, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "关于 Tomewright(&A)...");
}

LRESULT CALLBACK countingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(MessagePump, DrainsEverythingQueuedIncludingQuitAndReturnsWithoutWaiting) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = countingProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "tw-pump-test";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    const HWND window = CreateWindowA("tw-pump-test", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    int handled = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
    PostMessageA(window, WM_APP, 0, 0);
    PostQuitMessage(0);
    PostMessageA(window, WM_APP, 0, 0);

    const DWORD start = GetTickCount();
    ui::pumpMessages();
    ui::pumpMessages();  // an empty queue returns at once
    EXPECT_LT(GetTickCount() - start, 1000u);

    EXPECT_EQ(handled, 2);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
    DestroyWindow(window);
}

}  // namespace
