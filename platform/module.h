#pragma once

#include <string>

namespace platform {

// Full path of the running executable, as the system reports it (ANSI bytes on Windows).
std::string executablePath();

}  // namespace platform
