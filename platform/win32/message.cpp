#include "platform/message.h"

#include "platform/mbstring.h"
#include "platform/module.h"

#include <windows.h>

namespace platform {

std::string defaultTitle() {
    const std::string path = executablePath();
    const auto slash = findLastCharacter(path, '\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = findLastCharacter(name, '.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

void showUserMessage(WindowRef owner, const std::string& text) {
    MessageBoxA(static_cast<HWND>(owner), text.c_str(), defaultTitle().c_str(), MB_OK);
}

}  // namespace platform
