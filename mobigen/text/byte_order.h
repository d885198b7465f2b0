#pragma once

// Little-endian fields of zip and image headers. The caller checks the bounds.

#include <cstdint>
#include <string_view>

namespace mobigen {

inline std::uint16_t readLittle16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                                                  << 8);
}

inline std::uint32_t readLittle32(std::string_view bytes, std::size_t at) {
    return readLittle16(bytes, at) | std::uint32_t{readLittle16(bytes, at + 2)} << 16;
}

}  // namespace mobigen
