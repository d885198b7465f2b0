#pragma once

// Records of a KF8 part that are not text or indexes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// A FONT record: the font zlib-compressed, its first 1040 bytes XORed with a 20-byte key
// (libmobi undoes only 52 key lengths, so a shorter key would lose the font there).
std::string buildFontRecord(std::string_view font);

// FDST: the start and end of each flow in the whole text.
std::string buildFdstRecord(const std::vector<std::uint32_t>& flowEnds);

}  // namespace mobigen
