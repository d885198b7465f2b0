#pragma once

#include "platform/window.h"

#include <string>

namespace platform {

// Starts `file` through the shell with `parameters` in `directory` and waits for it to end,
// without a time limit. A launch that fails returns at once; nothing is reported, because
// callers judge the outcome by the files the program leaves. On POSIX the parameters are
// split like a Windows command line and passed as an argument vector, with no shell.
void runAndWait(WindowRef owner, const std::string& file, const std::string& parameters,
                const std::string& directory, int showCommand);

}  // namespace platform
