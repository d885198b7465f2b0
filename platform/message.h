#pragma once

#include "platform/window.h"

#include <string>

namespace platform {

// A modal box with the text, the OK button only and no icon, captioned with the program's
// default title (its file name without the extension). Returns when the user dismisses it.
void showUserMessage(WindowRef owner, const std::string& text);

// The executable's file name without its extension.
std::string defaultTitle();

}  // namespace platform
