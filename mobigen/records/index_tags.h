#pragma once

// Tag numbers of the index entries both parts write, by index.

#include <cstdint>

namespace mobigen::index_tag {

namespace ncx {
constexpr std::uint8_t kPosition = 1;  // filepos (MOBI 6) or offset in the assembled text (KF8)
constexpr std::uint8_t kLength = 2;
constexpr std::uint8_t kTitle = 3;  // CNCX offset
constexpr std::uint8_t kDepth = 4;
constexpr std::uint8_t kFragmentOffset = 6;  // KF8: fragment number, offset in it
constexpr std::uint8_t kParent = 21;
constexpr std::uint8_t kFirstChild = 22;
constexpr std::uint8_t kLastChild = 23;
}  // namespace ncx

namespace skeleton {
constexpr std::uint8_t kFragmentCount = 1;
constexpr std::uint8_t kStartLength = 6;
}  // namespace skeleton

namespace fragment {
constexpr std::uint8_t kSelector = 2;  // CNCX offset
constexpr std::uint8_t kFile = 3;
constexpr std::uint8_t kSequence = 4;
constexpr std::uint8_t kOffsetLength = 6;
}  // namespace fragment

namespace guide {
constexpr std::uint8_t kTitle = 1;  // CNCX offset
constexpr std::uint8_t kFragmentOffset = 6;
}  // namespace guide

}  // namespace mobigen::index_tag
