#include "platform/mbstring.h"

#include <mbctype.h>
#include <mbstring.h>

namespace platform {

char pathSeparator() { return '\\'; }

std::string::size_type findLastCharacter(const std::string& text, char c) {
    // _mbsrchr walks by characters of the runtime's multibyte code page, so a GBK trail byte
    // equal to '\\' is skipped. Embedded NULs cannot occur in paths.
    const auto* begin = reinterpret_cast<const unsigned char*>(text.c_str());
    const unsigned char* found = _mbsrchr(begin, static_cast<unsigned char>(c));
    return found ? static_cast<std::string::size_type>(found - begin) : std::string::npos;
}

void useAnsiCodePage() { _setmbcp(_MB_CP_ANSI); }

}  // namespace platform
