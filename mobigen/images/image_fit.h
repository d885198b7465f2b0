#pragma once

// What a Kindle gets for each picture: older readers fail on image records over 127 KB, a
// photo larger than the screen only costs space, and some do not show a JPEG without a JFIF
// header that states its density.

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
constexpr int kThumbnailWidth = 330;  // the box a library view shows a cover in
constexpr int kThumbnailHeight = 470;
constexpr long long kImageMaxDecodePixels = 40000000;  // beyond this a header is not trusted

struct FittedImage {
    std::optional<std::string> replacement;  // to store instead of the original
    std::string problem;                     // why an unfit image stays as it is, or ""
};

// Decides what to store for one image file. A small one is kept (a JPEG gets a JFIF header);
// a larger one is scaled into the box and written as JPEG, or as PNG when its transparency
// shows, then made smaller until it fits a record. A file that cannot be decoded is kept and
// `problem` says why.
FittedImage fitImage(std::string_view data);

// A small JPEG of a cover for the library view, on white where the cover is transparent;
// empty when the cover cannot be decoded.
std::string thumbnailOf(std::string_view cover);

// Width times height as the header of a JPEG, GIF, PNG or BMP declares them; 0 when unknown.
long long imagePixels(std::string_view data);

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // 4 bytes a pixel
};

// A JPEG, PNG or BMP decoded with the checks fitting makes; nothing when it cannot be or has
// more than `maxPixels`.
std::optional<RgbaImage> decodeRgba(std::string_view data, long long maxPixels = kImageMaxDecodePixels);

// Opaque pixels (1 or 3 channels) as fitting writes them: a JPEG within a record; "" when encoding
// failed.
std::string encodeFittedJpeg(const unsigned char* pixels, int width, int height, int channels);

}  // namespace mobigen
