#pragma once

#include <windows.h>

#include <string>

namespace ui {

// A string of the executable's string table in the ANSI code page; "" when it is missing.
std::string loadString(UINT id);

// Adds a separator and the About item to `menu`; an empty text adds nothing at all.
void appendAboutItem(HMENU menu, const std::string& text);

}  // namespace ui
