#include "platform/mbstring.h"

namespace platform {

char pathSeparator() { return '/'; }

// UTF-8 continuation bytes are never ASCII, so the byte search cannot split a character.
std::string::size_type findLastCharacter(const std::string& text, char c) { return text.rfind(c); }

void useAnsiCodePage() {}

}  // namespace platform
