// The dialog layer's own logic: window arithmetic, the system menu entry, the message drain.
#include "ui/layout.h"
#include "ui/message_pump.h"
#include "ui/system_menu.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

std::pair<int, int> xy(const ui::Point& point) { return {point.x, point.y}; }

TEST(MinimizedIcon, IsCentredRoundingHalfPixelsUpAndTruncatingTowardZero) {
    EXPECT_EQ(xy(ui::minimizedIconOrigin(36, 36, 32, 32)), std::make_pair(2, 2));
    EXPECT_EQ(xy(ui::minimizedIconOrigin(37, 37, 32, 32)), std::make_pair(3, 3));
    EXPECT_EQ(xy(ui::minimizedIconOrigin(30, 28, 32, 32)), std::make_pair(0, -1));  // not flooring
}

TEST(Centring, CentresOverTheGivenAreaAndStaysOnTheWorkArea) {
    const ui::Box screen{0, 0, 1280, 1000};
    const ui::Box dialog{0, 0, 400, 200};
    EXPECT_EQ(xy(ui::centredOrigin(dialog, screen, screen)), std::make_pair(440, 400));
    EXPECT_EQ(xy(ui::centredOrigin(dialog, {50, 100, 250, 200}, screen)), std::make_pair(0, 50));
    EXPECT_EQ(xy(ui::centredOrigin(dialog, {1100, 900, 1280, 1000}, screen)), std::make_pair(880, 800));
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
