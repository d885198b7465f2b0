#include "mobigen/file_system.h"

#include <windows.h>

namespace mobigen {

std::size_t lastPathSeparator(std::string_view path) {
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/') {
            last = i;
        } else if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;  // the trail byte may look like '\'
        }
    }
    return last;
}

bool isPlainFileName(std::string_view name) {
    return lastPathSeparator(name) == std::string_view::npos && name.find(':') == std::string_view::npos;
}

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace mobigen
