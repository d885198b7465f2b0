#include "platform/module.h"

#include <windows.h>

namespace platform {

std::string executablePath() {
    char buffer[2600];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

}  // namespace platform
