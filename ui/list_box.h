#pragma once

#include <windows.h>

#include <string>

namespace ui {

// A list box control of a dialog; the dialog owns the window, this only talks to it.
class ListBox {
public:
    void attach(HWND window) { window_ = window; }
    HWND window() const { return window_; }

    // Appends at the end of an unsorted list; returns the new line's index, or -1.
    int addString(const std::string& text);
    void resetContent();
    int count() const;
    // The line's text, or "" for an index out of range.
    std::string text(int index) const;

private:
    HWND window_ = nullptr;
};

}  // namespace ui
