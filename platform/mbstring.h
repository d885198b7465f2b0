#pragma once

#include <string>
#include <string_view>

namespace platform {

// The path separator of this system: '\\' on Windows, '/' elsewhere.
char pathSeparator();

// Index of the last `c` that stands as a character of its own, or npos. On Windows the string
// is walked in the ANSI code page, so a trail byte with the value of `c` is never taken for it
// (in code page 936 a trail byte can be '\\'). Elsewhere strings are UTF-8, where the plain
// byte search is already safe.
std::string::size_type findLastCharacter(const std::string& text, char c);

// Position of the last folder separator ('\\' or '/' on Windows, '/' elsewhere), found as
// findLastCharacter finds it, or npos.
std::string::size_type lastPathSeparator(const std::string& path);

// True for a name without any folder part. Backslashes and drive colons are refused
// everywhere, so the same command means the same on every system.
bool isPlainFileName(std::string_view name);

// Makes the runtime's multibyte functions follow the ANSI code page. Called once at start-up.
void useAnsiCodePage();

}  // namespace platform
