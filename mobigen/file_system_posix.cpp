#include "mobigen/file_system.h"

#include <cstdio>

namespace mobigen {

std::size_t lastPathSeparator(std::string_view path) { return path.rfind('/'); }

// Backslashes and drive colons are legal here, but the same command must mean the same on
// Windows, where they name folders.
bool isPlainFileName(std::string_view name) { return name.find_first_of("/\\:") == std::string_view::npos; }

bool replaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace mobigen
