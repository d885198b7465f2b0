#pragma once

// What the converter and the program should produce, worked out here independently of their
// code (from the format descriptions and the text-mode rules), so they are not judged by
// themselves. Shared by the tests and the fuzz targets.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace test_support {

// PalmDOC decompression; nothing when the input is not a valid packed stream.
std::optional<std::string> decodePalmDoc(std::string_view packed);

// The page the program's text-to-HTML step should write for a text file: 0x1A ends the input,
// CR LF and LF end a line, a lone CR is text, and a last line without a line end still counts.
std::string textModePage(std::string_view text);

// Big-endian fields of a written MOBI file; the caller checks the bounds.
std::uint32_t be16(std::string_view bytes, std::size_t at);
std::uint32_t be32(std::string_view bytes, std::size_t at);

std::string repeat(const std::string& piece, std::size_t times);

}  // namespace test_support
