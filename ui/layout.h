#pragma once

// Window arithmetic kept apart from the Win32 calls, so it can be checked with plain numbers.

namespace ui {

struct Point {
    int x;
    int y;
};

struct Box {
    int left;
    int top;
    int right;
    int bottom;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Where the icon of a minimised window goes: centred, rounding half a pixel to the right/down.
// C++ division truncates toward zero, as the drawing code expects for small client areas.
inline Point minimizedIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

// Top-left corner that centres `window` over `over`, pushed back inside `workArea` if it would
// stick out (a large dialog over a small owner near the screen's edge).
inline Point centredOrigin(const Box& window, const Box& over, const Box& workArea) {
    int x = (over.left + over.right) / 2 - window.width() / 2;
    int y = (over.top + over.bottom) / 2 - window.height() / 2;
    if (x + window.width() > workArea.right) x = workArea.right - window.width();
    if (x < workArea.left) x = workArea.left;
    if (y + window.height() > workArea.bottom) y = workArea.bottom - window.height();
    if (y < workArea.top) y = workArea.top;
    return {x, y};
}

}  // namespace ui
