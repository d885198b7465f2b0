#include "mobigen/images/area_scaler.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace mobigen {
namespace {

// Each output pixel's share of the source along one axis, in 14-bit fixed point.
struct AreaTaps {
    std::vector<int> first;  // per output pixel
    std::vector<int> count;  // per output pixel
    std::vector<int> start;  // per output pixel, into `weights`
    std::vector<std::uint32_t> weights;
};

constexpr int kWeightBits = 14;

AreaTaps areaTaps(int sourceSize, int targetSize) {
    AreaTaps taps;
    const double ratio = static_cast<double>(sourceSize) / targetSize;
    for (int out = 0; out < targetSize; ++out) {
        const double from = out * ratio, to = std::min((out + 1) * ratio, static_cast<double>(sourceSize));
        const int first = static_cast<int>(from), last = std::min(static_cast<int>(std::ceil(to)), sourceSize) - 1;
        taps.first.push_back(first);
        taps.count.push_back(last - first + 1);
        taps.start.push_back(static_cast<int>(taps.weights.size()));
        std::uint32_t total = 0;
        for (int i = first; i <= last; ++i) {
            const double covered = std::min(to, i + 1.0) - std::max(from, static_cast<double>(i));
            const auto weight = static_cast<std::uint32_t>(std::lround(covered / (to - from) * (1 << kWeightBits)));
            taps.weights.push_back(weight);
            total += weight;
        }
        taps.weights.back() += (1u << kWeightBits) - total;  // the shares add up exactly
    }
    return taps;
}

// One row of 8.8 fixed-point values across into bytes; the channel counts are constants so
// that the compiler unrolls the inner loops.
template <std::size_t Step, std::size_t Kept>
void scaleRowAcross(const std::uint16_t* source, const AreaTaps& across, std::uint8_t* target) {
    // Locals, since a store through a byte pointer could otherwise change any of them.
    const std::size_t width = across.first.size();
    const int* const first = across.first.data();
    const int* const count = across.count.data();
    const int* const start = across.start.data();
    const std::uint32_t* const weights = across.weights.data();
    for (std::size_t x = 0; x < width; ++x) {
        std::uint32_t sum[Kept] = {};
        const std::uint32_t* weight = weights + start[x];
        const std::uint16_t* pixel = source + static_cast<std::size_t>(first[x]) * Step;
        for (int t = 0; t < count[x]; ++t, pixel += Step)
            for (std::size_t c = 0; c < Kept; ++c) sum[c] += weight[t] * pixel[c];
        for (std::size_t c = 0; c < Kept; ++c)
            *target++ = static_cast<std::uint8_t>((sum[c] + (1u << (kWeightBits + 7))) >> (kWeightBits + 8));
    }
}

using RowScaler = void (*)(const std::uint16_t*, const AreaTaps&, std::uint8_t*);

// A dropped alpha channel is simply not read.
RowScaler rowScalerFor(int step, bool keepAlpha) {
    switch (step) {
    case 4:
        return keepAlpha ? scaleRowAcross<4, 4> : scaleRowAcross<4, 3>;
    case 3:
        return scaleRowAcross<3, 3>;
    case 2:
        return keepAlpha ? scaleRowAcross<2, 2> : scaleRowAcross<2, 1>;
    default:
        return scaleRowAcross<1, 1>;
    }
}

}  // namespace

// In integers: down first, into one row of 8.8 fixed point, which is then scaled across.
Raster areaScaled(const RowSource& rowAt, const PixelView& source, int width, int height, bool keepAlpha) {
    const AreaTaps across = areaTaps(source.width, width), down = areaTaps(source.height, height);
    keepAlpha = keepAlpha && hasAlpha(source);
    const int kept = hasAlpha(source) && !keepAlpha ? source.channels - 1 : source.channels;
    const std::size_t sourceRow = source.rowBytes();
    const std::size_t targetRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(kept);
    const RowScaler scaleRow = rowScalerFor(source.channels, keepAlpha);
    std::vector<std::uint32_t> sums(sourceRow);
    std::vector<std::uint16_t> column(sourceRow);
    Raster out{width, height, kept, std::vector<std::uint8_t>(static_cast<std::size_t>(height) * targetRow)};
    for (int y = 0; y < height; ++y) {
        std::uint32_t* const sum = sums.data();
        for (int t = 0; t < down.count[y]; ++t) {
            const std::uint32_t weight = down.weights[static_cast<std::size_t>(down.start[y] + t)];
            const std::uint8_t* const row = rowAt(down.first[y] + t);
            if (row == nullptr) return {};
            if (t == 0) {
                for (std::size_t at = 0; at < sourceRow; ++at) sum[at] = weight * row[at];
            } else {
                for (std::size_t at = 0; at < sourceRow; ++at) sum[at] += weight * row[at];
            }
        }
        std::uint16_t* const fixed = column.data();
        for (std::size_t at = 0; at < sourceRow; ++at)
            fixed[at] = static_cast<std::uint16_t>((sum[at] + (1u << (kWeightBits - 9))) >> (kWeightBits - 8));
        scaleRow(column.data(), across, out.pixels.data() + static_cast<std::size_t>(y) * targetRow);
    }
    return out;
}

Raster areaScaled(const PixelView& source, int width, int height, bool keepAlpha) {
    const std::size_t stride = source.rowBytes();
    return areaScaled([&](int y) { return source.data + static_cast<std::size_t>(y) * stride; }, source, width, height,
                      keepAlpha);
}

// Where output pixel (x, y) comes from in the stored picture.
struct SourceOf {
    int orientation, width, height;  // the stored picture's
    std::pair<int, int> operator()(int x, int y) const {
        switch (orientation) {
        case 2:
            return {width - 1 - x, y};
        case 3:
            return {width - 1 - x, height - 1 - y};
        case 4:
            return {x, height - 1 - y};
        case 5:
            return {y, x};
        case 6:
            return {y, height - 1 - x};
        case 7:
            return {width - 1 - y, height - 1 - x};
        case 8:
            return {width - 1 - y, x};
        default:
            return {x, y};
        }
    }
};

Raster turned(const Raster& source, int orientation) {
    if (orientation < 2 || orientation > 8) return source;
    const bool swaps = orientation >= 5;
    Raster out{swaps ? source.height : source.width, swaps ? source.width : source.height, source.channels, {}};
    out.pixels.resize(source.pixels.size());
    const SourceOf from{orientation, source.width, source.height};
    const auto channels = static_cast<std::size_t>(source.channels);
    std::uint8_t* to = out.pixels.data();
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x, to += channels) {
            const auto [sx, sy] = from(x, y);
            const std::size_t at =
                (static_cast<std::size_t>(sy) * static_cast<std::size_t>(source.width) + static_cast<std::size_t>(sx)) *
                channels;
            std::copy_n(source.pixels.data() + at, channels, to);
        }
    return out;
}

Raster onWhite(const Raster& source) {
    if (!hasAlpha(source.view())) return source;
    const int kept = source.channels - 1;
    Raster out{source.width, source.height, kept, {}};
    out.pixels.reserve(source.pixels.size() / static_cast<std::size_t>(source.channels) *
                       static_cast<std::size_t>(kept));
    for (std::size_t at = 0; at < source.pixels.size(); at += static_cast<std::size_t>(source.channels)) {
        const unsigned alpha = source.pixels[at + static_cast<std::size_t>(kept)];
        for (std::size_t c = 0; c < static_cast<std::size_t>(kept); ++c)
            out.pixels.push_back(
                static_cast<std::uint8_t>((source.pixels[at + c] * alpha + 255 * (255 - alpha) + 127) / 255));
    }
    return out;
}

}  // namespace mobigen
