#pragma once

// A small SVG renderer for readers that cannot draw SVG: the shapes, paths, groups, uses,
// transforms, solid paint, opacity and pictures that book illustrations and covers are made
// of, anti-aliased. Text is not drawn (covers carry their titles as outlines).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// Limits on hostile pictures; each one reached is named in a warning.
constexpr std::size_t kSvgMaxInputBytes = 16 * 1024 * 1024;
constexpr std::size_t kSvgMaxElements = 100000;       // in the file, and drawn (a <use> draws again)
constexpr int kSvgMaxDepth = 64;                      // nested elements and uses
constexpr std::size_t kSvgMaxPathCommands = 1000000;  // over all paths of a picture
constexpr long long kSvgMaxPoints = 2000000;          // of the lines curves and strokes become
constexpr std::size_t kSvgMaxStyleRules = 500;        // each is matched against every element
constexpr long long kSvgMaxPicturePixels = 24000000;  // of the pictures it shows, decoded
constexpr long long kSvgMaxOutputPixels = 16000000;
// The screen of the readers that show an SVG drawing's raster: those of the MOBI 6 part.
constexpr int kSvgRasterWidth = 600;
constexpr int kSvgRasterHeight = 800;

// The bytes of a picture an <image> links to, by its href as written; nothing when missing.
using SvgResourceLoader = std::function<std::optional<std::string>(std::string_view href)>;

struct SvgSize {
    double width = 0;  // CSS pixels
    double height = 0;
};

// The size the picture asks for (width and height, else its viewBox, else 300 by 150);
// nothing when it is not an SVG document that can be read, and then `problem` says why.
std::optional<SvgSize> svgIntrinsicSize(std::string_view svg, std::string* problem = nullptr);

struct SvgRendering {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;     // straight alpha; empty when nothing could be drawn
    std::vector<std::string> warnings;  // each a sentence about this picture
};

// Draws the picture into `width` by `height` pixels, its viewBox fitted as it asks.
SvgRendering renderSvg(std::string_view svg, int width, int height, const SvgResourceLoader& load);

struct SvgRaster {
    std::optional<std::string> image;  // a JPEG, or a PNG where transparency shows
    std::vector<std::string> warnings;
};

// The picture as an image file for a reader: at its own size fitted into a reader's screen,
// but at least `minHeight` pixels high where that stays on the screen.
SvgRaster rasterizeSvg(std::string_view svg, int minHeight, const SvgResourceLoader& load);

}  // namespace mobigen
