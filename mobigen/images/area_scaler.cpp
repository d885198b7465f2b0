#include "mobigen/images/area_scaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

// SSE2 is there on every x86-64; a 32-bit build asks the processor, as old ones lack it.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <emmintrin.h>
#define MOBIGEN_SSE2 __attribute__((target("sse2")))
#endif

namespace mobigen {
namespace {

// Down, 8-bit shares keep a row's sums in 16 bits, which vector units multiply twice as wide as
// 32; across, 14-bit shares of those 8.8 values still fit 32 bits.
constexpr int kDownBits = 8;
constexpr int kAcrossBits = 14;

// Each output pixel's share of the source along one axis, in fixed point. Every pixel has the
// same number of taps, the widest any needs, zero-padded: fixed loops unroll, and no branch
// depends on the position.
struct AreaTaps {
    int taps = 0;                           // per output pixel
    std::vector<int> first;                 // per output pixel; first + taps stays inside the source
    std::vector<std::uint32_t> weights;     // `taps` per output pixel
    std::vector<std::uint16_t> pairShares;  // of 65,536, by pairs of pixels: each tap's 4 lanes and 4
};

// Shares rounded from the running total, so that none is negative and they add up exactly.
AreaTaps areaTaps(int sourceSize, int targetSize, int bits) {
    AreaTaps taps;
    const double ratio = static_cast<double>(sourceSize) / targetSize;
    struct Span {
        double from, to;
        int first, last;  // the source pixels it touches
    };
    const auto spanOf = [&](int out) {
        const double from = out * ratio, to = std::min((out + 1) * ratio, static_cast<double>(sourceSize));
        return Span{from, to, static_cast<int>(from), std::min(static_cast<int>(std::ceil(to)), sourceSize) - 1};
    };
    for (int out = 0; out < targetSize; ++out) {
        const Span span = spanOf(out);
        taps.taps = std::max(taps.taps, span.last - span.first + 1);
    }
    const double unit = 1 << bits;
    for (int out = 0; out < targetSize; ++out) {
        const auto [from, to, first, last] = spanOf(out);
        const int padded = std::min(first, sourceSize - taps.taps);
        taps.first.push_back(padded);
        const std::size_t start = taps.weights.size();
        taps.weights.resize(start + static_cast<std::size_t>(taps.taps));
        long covered = 0;
        for (int i = first; i <= last; ++i) {
            const long upTo =
                i == last ? (1L << bits) : std::lround((std::min(to, i + 1.0) - from) / (to - from) * unit);
            taps.weights[start + static_cast<std::size_t>(i - padded)] = static_cast<std::uint32_t>(upTo - covered);
            covered = upTo;
        }
    }
    // Two pixels at a time take the vector path's 8 lanes; an odd last one is paired with itself.
    const auto count = static_cast<std::size_t>(taps.taps);
    for (std::size_t out = 0; out < static_cast<std::size_t>(targetSize); out += 2)
        for (std::size_t t = 0; t < count; ++t)
            for (const std::size_t pixel : {out, std::min(out + 1, static_cast<std::size_t>(targetSize) - 1)}) {
                const std::uint32_t weight = taps.weights[pixel * count + t] << (16 - bits);
                taps.pairShares.insert(taps.pairShares.end(), 4, static_cast<std::uint16_t>(std::min(weight, 65535u)));
            }
    return taps;
}

// One row of 8.8 fixed-point values across into bytes. The channel and tap counts are constants
// (a tap count of 0 is read from `across`) so that the compiler unrolls the inner loops.
template <std::size_t Step, std::size_t Kept, std::size_t Taps>
void scaleRowAcross(const std::uint16_t* source, const AreaTaps& across, std::uint8_t* target) {
    // Locals, since a store through a byte pointer could otherwise change any of them.
    const std::size_t width = across.first.size();
    const std::size_t taps = Taps != 0 ? Taps : static_cast<std::size_t>(across.taps);
    const int* const first = across.first.data();
    const std::uint32_t* weight = across.weights.data();
    for (std::size_t x = 0; x < width; ++x, weight += taps) {
        std::uint32_t sum[Kept] = {};
        const std::uint16_t* pixel = source + static_cast<std::size_t>(first[x]) * Step;
        for (std::size_t t = 0; t < taps; ++t, pixel += Step)
            for (std::size_t c = 0; c < Kept; ++c) sum[c] += weight[t] * pixel[c];
        for (std::size_t c = 0; c < Kept; ++c)
            *target++ = static_cast<std::uint8_t>((sum[c] + (1u << (kAcrossBits + 7))) >> (kAcrossBits + 8));
    }
}

#if defined(MOBIGEN_SSE2)
// Colour pixels across two at a time, each pixel's channels side by side in 16-bit lanes (for
// RGB the fourth holds the next pixel's red, never stored): the 8.8 sums times 16-bit shares,
// high halves kept, which cannot pass 65,280. `source` has room for one value past the row.
template <std::size_t Step, std::size_t Kept, std::size_t Taps>
MOBIGEN_SSE2 void scaleColourAcross(const std::uint16_t* source, const AreaTaps& across, std::uint8_t* target) {
    const std::size_t width = across.first.size();
    const std::size_t taps = Taps != 0 ? Taps : static_cast<std::size_t>(across.taps);
    const int* const first = across.first.data();
    const std::uint16_t* share = across.pairShares.data();
    const __m128i half = _mm_set1_epi16(128);
    for (std::size_t x = 0; x < width; x += 2, share += 8 * taps, target += 2 * Kept) {
        const std::uint16_t* left = source + static_cast<std::size_t>(first[x]) * Step;
        const std::uint16_t* right = source + static_cast<std::size_t>(first[std::min(x + 1, width - 1)]) * Step;
        __m128i sum = _mm_setzero_si128();
        for (std::size_t t = 0; t < taps; ++t, left += Step, right += Step) {
            const __m128i pixels = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(left)),
                                                      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(right)));
            sum = _mm_add_epi16(
                sum, _mm_mulhi_epu16(pixels, _mm_loadu_si128(reinterpret_cast<const __m128i*>(share + 8 * t))));
        }
        alignas(16) std::uint8_t bytes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes),
                        _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(sum, half), 8), sum));
        std::memcpy(target, bytes, Kept);
        if (x + 1 < width) std::memcpy(target + Kept, bytes + 4, Kept);
    }
}
#endif

using RowScaler = void (*)(const std::uint16_t*, const AreaTaps&, std::uint8_t*);

template <std::size_t Step, std::size_t Kept, std::size_t Taps>
RowScaler bestScaler() {
#if defined(MOBIGEN_SSE2)
    if constexpr (Kept >= 3)
        if (__builtin_cpu_supports("sse2")) return scaleColourAcross<Step, Kept, Taps>;
#endif
    return scaleRowAcross<Step, Kept, Taps>;
}

template <std::size_t Step, std::size_t Kept>
RowScaler withTaps(int taps) {
    switch (taps) {
    case 1:
        return bestScaler<Step, Kept, 1>();
    case 2:
        return bestScaler<Step, Kept, 2>();
    case 3:
        return bestScaler<Step, Kept, 3>();
    case 4:
        return bestScaler<Step, Kept, 4>();
    default:
        return bestScaler<Step, Kept, 0>();
    }
}

// A dropped alpha channel is simply not read.
RowScaler rowScalerFor(int step, bool keepAlpha, int taps) {
    switch (step) {
    case 4:
        return keepAlpha ? withTaps<4, 4>(taps) : withTaps<4, 3>(taps);
    case 3:
        return withTaps<3, 3>(taps);
    case 2:
        return keepAlpha ? withTaps<2, 2>(taps) : withTaps<2, 1>(taps);
    default:
        return withTaps<1, 1>(taps);
    }
}

// Source rows weighted into `sum` as 8.8 fixed point. The shares add up to 256, so the sums
// cannot pass 65,280 and 16 bits hold them.
void addRow(const std::uint8_t* row, std::uint32_t weight, bool first, std::size_t size, std::uint16_t* sum) {
    const auto share = static_cast<std::uint16_t>(weight);
    if (first) {
        for (std::size_t at = 0; at < size; ++at) sum[at] = static_cast<std::uint16_t>(share * row[at]);
    } else {
        for (std::size_t at = 0; at < size; ++at) sum[at] = static_cast<std::uint16_t>(sum[at] + share * row[at]);
    }
}

}  // namespace

// In integers: down first, into one row of 8.8 fixed point, which is then scaled across.
Raster areaScaled(const RowSource& rowAt, const PixelView& source, int width, int height, bool keepAlpha) {
    const AreaTaps across = areaTaps(source.width, width, kAcrossBits),
                   down = areaTaps(source.height, height, kDownBits);
    keepAlpha = keepAlpha && hasAlpha(source);
    const int kept = hasAlpha(source) && !keepAlpha ? source.channels - 1 : source.channels;
    const std::size_t sourceRow = source.rowBytes();
    const std::size_t targetRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(kept);
    const RowScaler scaleRow = rowScalerFor(source.channels, keepAlpha, across.taps);
    std::vector<std::uint16_t> column(sourceRow + 1);
    Raster out{width, height, kept, std::vector<std::uint8_t>(static_cast<std::size_t>(height) * targetRow)};
    const auto downTaps = static_cast<std::size_t>(down.taps);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* const weights = down.weights.data() + static_cast<std::size_t>(y) * downTaps;
        bool first = true;
        for (std::size_t t = 0; t < downTaps; ++t) {
            if (weights[t] == 0) continue;  // padding: the row may already be gone
            const std::uint8_t* const row = rowAt(down.first[static_cast<std::size_t>(y)] + static_cast<int>(t));
            if (row == nullptr) return {};
            addRow(row, weights[t], first, sourceRow, column.data());
            first = false;
        }
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
