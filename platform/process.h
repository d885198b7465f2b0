#pragma once

#include "platform/window.h"

#include <optional>
#include <string>

namespace platform {

// Starts `file` through the shell with `parameters` in `directory` and waits for it to end,
// without a time limit. Returns its exit code, or nothing when no process was started (the
// launch is not reported otherwise). On POSIX the parameters are split like a Windows command
// line and passed as an argument vector, with no shell; a death by signal counts as 128 + it.
std::optional<unsigned long> runAndWait(WindowRef owner, const std::string& file, const std::string& parameters,
                                        const std::string& directory, int showCommand);

}  // namespace platform
