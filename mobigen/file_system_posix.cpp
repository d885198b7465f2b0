#include "mobigen/file_system.h"

#include <cstdio>

namespace mobigen {

std::size_t lastPathSeparator(std::string_view path) { return path.rfind('/'); }

bool replaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace mobigen
