#pragma once

// The few file operations whose rules differ between Windows and POSIX. Paths are narrow
// strings as the command line gave them (the ANSI code page on Windows).

#include <string>
#include <string_view>

namespace mobigen {

// Position of the last directory separator, or npos. On Windows a DBCS trail byte that
// equals '\' is not a separator.
std::size_t lastPathSeparator(std::string_view path);

// True for a name without any folder part: no separator of either kind, no drive.
bool isPlainFileName(std::string_view name);

// Moves `from` over `to`, replacing an existing `to` in one step.
bool replaceFile(const std::string& from, const std::string& to);

}  // namespace mobigen
