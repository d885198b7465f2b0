#pragma once

#include <string>

// Paths are byte strings in the system's ANSI code page (UTF-8 off Windows).

// True when a directory search finds `path` (a file or a folder). Wildcards are refused.
bool fileExists(const std::string& path);

// Text after the last '.' of the whole path, or "" when there is none.
std::string fileExtension(const std::string& path);

// Text before the last '.' when it stands at index 1 or later; otherwise the whole path.
std::string stripExtension(const std::string& path);

// `path` cut before its last separator (a character of its own, never a trail byte).
std::string directoryPart(const std::string& path);

// Folder of the running executable, without a trailing separator.
std::string programDirectory();

// "" stays ""; otherwise appends the separator unless the last byte already is one.
std::string withTrailingBackslash(const std::string& directory);
