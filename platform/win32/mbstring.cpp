#include "platform/mbstring.h"

#include <mbctype.h>
#include <mbstring.h>
#include <algorithm>

namespace platform {

char pathSeparator() { return '\\'; }

std::string::size_type findLastCharacter(const std::string& text, char c) {
    // _mbsrchr walks by characters of the runtime's multibyte code page, so a GBK trail byte
    // equal to '\\' is skipped. Embedded NULs cannot occur in paths.
    const auto* begin = reinterpret_cast<const unsigned char*>(text.c_str());
    const unsigned char* found = _mbsrchr(begin, static_cast<unsigned char>(c));
    return found ? static_cast<std::string::size_type>(found - begin) : std::string::npos;
}

std::string::size_type lastPathSeparator(const std::string& path) {
    const auto backslash = findLastCharacter(path, '\\');
    const auto slash = findLastCharacter(path, '/');
    if (backslash == std::string::npos) return slash;
    return slash == std::string::npos ? backslash : std::max(backslash, slash);
}

bool isPlainFileName(std::string_view name) {
    return lastPathSeparator(std::string(name)) == std::string::npos && name.find(':') == std::string_view::npos;
}

void useAnsiCodePage() { _setmbcp(_MB_CP_ANSI); }

}  // namespace platform
