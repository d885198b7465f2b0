#pragma once

// Shrinks images that are too big for a MOBI 6 book: older Kindle software refuses records
// over 127 KB, and a photo larger than the screen only costs space.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

constexpr std::size_t kImageKeepBytes = 127 * 1024;  // at most this and ...
constexpr int kImageKeepSide = 1600;                 // ... this many pixels a side: untouched
constexpr int kImageFitWidth = 1072;                 // larger ones are scaled into this box
constexpr int kImageFitHeight = 1448;
constexpr long long kImageMaxDecodePixels = 40000000;  // beyond this a header is not trusted

struct FittedImage {
    std::optional<std::string> smaller;  // a JPEG to store instead of the original
    std::string problem;                 // why an oversized image stays as it is, or ""
};

// Decides what to store for one image file. GIFs, images with transparency and anything that
// would not get smaller are kept; a file that cannot be decoded is kept and `problem` says why.
FittedImage fitImage(std::string_view data);

// Width times height as the header of a JPEG, PNG or BMP declares them; 0 when unknown.
long long imagePixels(std::string_view data);

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // 4 bytes a pixel
};

// A JPEG, PNG or BMP decoded with the checks fitting makes; nothing when it cannot be or has
// more than `maxPixels`.
std::optional<RgbaImage> decodeRgba(std::string_view data, long long maxPixels = kImageMaxDecodePixels);

// Pixels (1 or 3 channels) as a JPEG as fitting writes them; "" when encoding failed.
std::string encodeJpeg(const unsigned char* pixels, int width, int height, int channels);

}  // namespace mobigen
