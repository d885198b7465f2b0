#pragma once

// Pixel geometry. Scaling is by area averaging (a box filter when shrinking): it keeps fine
// print and line art legible.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace mobigen {

// Pixels owned elsewhere, interleaved: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA.
struct PixelView {
    int width = 0;
    int height = 0;
    int channels = 0;
    const std::uint8_t* data = nullptr;
    std::size_t rowBytes() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels); }
    std::size_t size() const { return static_cast<std::size_t>(height) * rowBytes(); }
};

// Pixels that own themselves.
struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> pixels;
    PixelView view() const { return {width, height, channels, pixels.data()}; }
};

inline bool hasAlpha(const PixelView& pixels) { return pixels.channels == 2 || pixels.channels == 4; }

// Source rows come from `rowAt` in order, each asked for at most twice in a row, so that a
// decoder can hand them over one at a time; a null row ends the scaling with an empty raster.
// `keepAlpha` false drops an alpha channel (the caller knows it is opaque or composited).
using RowSource = std::function<const std::uint8_t*(int y)>;
Raster areaScaled(const RowSource& rowAt, const PixelView& source, int width, int height, bool keepAlpha = false);

// The same for pixels held whole.
Raster areaScaled(const PixelView& source, int width, int height, bool keepAlpha = false);

// Turned upright as an Exif orientation (1-8) says the camera held it.
Raster turned(const Raster& source, int orientation);

// Alpha blended onto a white page and dropped, for a format without it.
Raster onWhite(const Raster& source);

}  // namespace mobigen
