#include "platform/mbstring.h"

namespace platform {

char pathSeparator() { return '/'; }

// UTF-8 continuation bytes are never ASCII, so the byte search cannot split a character.
std::string::size_type findLastCharacter(const std::string& text, char c) { return text.rfind(c); }

std::string::size_type lastPathSeparator(const std::string& path) { return path.rfind('/'); }

bool isPlainFileName(std::string_view name) { return name.find_first_of("/\\:") == std::string_view::npos; }

void useAnsiCodePage() {}

}  // namespace platform
