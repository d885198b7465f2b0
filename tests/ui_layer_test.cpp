// The dialog layer's own logic: window arithmetic, the system menu entry, the message drain.
#include "ui/layout.h"
#include "ui/message_pump.h"
#include "ui/system_menu.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(MinimizedIcon, IsCentredRoundingHalfPixelsUpAndTruncatingTowardZero) {
    const ui::Point even = ui::minimizedIconOrigin(36, 36, 32, 32);
    const ui::Point odd = ui::minimizedIconOrigin(37, 37, 32, 32);
    const ui::Point narrow = ui::minimizedIconOrigin(30, 28, 32, 32);
    EXPECT_EQ(std::make_pair(even.x, even.y), std::make_pair(2, 2));
    EXPECT_EQ(std::make_pair(odd.x, odd.y), std::make_pair(3, 3));
    EXPECT_EQ(std::make_pair(narrow.x, narrow.y), std::make_pair(0, -1));  // not flooring
}

TEST(Centring, CentresOverTheGivenAreaAndStaysOnTheWorkArea) {
    const ui::Box screen{0, 0, 1280, 1000};
    const ui::Box dialog{0, 0, 400, 200};
    const ui::Point onScreen = ui::centredOrigin(dialog, screen, screen);
    const ui::Point overSmallOwner = ui::centredOrigin(dialog, {50, 100, 250, 200}, screen);
    const ui::Point nearEdge = ui::centredOrigin(dialog, {1100, 900, 1280, 1000}, screen);
    EXPECT_EQ(std::make_pair(onScreen.x, onScreen.y), std::make_pair(440, 400));
    EXPECT_EQ(std::make_pair(overSmallOwner.x, overSmallOwner.y), std::make_pair(0, 50));
    EXPECT_EQ(std::make_pair(nearEdge.x, nearEdge.y), std::make_pair(880, 800));
}

TEST(SystemMenu, EmptyAboutTextAddsNeitherSeparatorNorItem) {
    const HMENU menu = CreatePopupMenu();
    ui::appendAboutItem(menu, "");
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    DestroyMenu(menu);
}

TEST(MessagePump, DispatchesEverythingQueuedIncludingQuitWithoutWaiting) {
    const HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    PostQuitMessage(0);
    PostMessageA(window, WM_CLOSE, 0, 0);

    const DWORD start = GetTickCount();
    ui::pumpMessages();
    ui::pumpMessages();  // an empty queue returns at once
    EXPECT_LT(GetTickCount() - start, 1000u);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(IsWindow(window));  // the default handling of WM_CLOSE destroyed it
}

}  // namespace
