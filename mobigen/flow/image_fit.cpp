#include "mobigen/flow/image_fit.h"

#include "mobigen/flow/images.h"
#include "mobigen/text/byte_order.h"

#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace mobigen {
namespace {

// Quality steps down only while the result is still over the old 127 KB limit.
constexpr int kJpegQualities[] = {80, 70, 60};

struct StbFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbFree>;

// Pixels owned elsewhere: by stb or by one of the vectors below.
struct PixelView {
    int width = 0;
    int height = 0;
    int channels = 0;
    const stbi_uc* data = nullptr;
    std::size_t size() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(channels);
    }
};

const stbi_uc* bytesOf(std::string_view data) { return reinterpret_cast<const stbi_uc*>(data.data()); }
int lengthOf(std::string_view data) { return static_cast<int>(data.size()); }
unsigned byteAt(std::string_view data, std::size_t at) { return static_cast<unsigned char>(data[at]); }

std::string stbReason() {
    const char* reason = stbi_failure_reason();
    return reason != nullptr ? reason : "unknown error";
}

// stb reads missing BMP rows as black, so compare with the sizes the header declares.
bool bmpReachesEnd(std::string_view data) {
    if (data.size() < 14) return false;
    const std::uint32_t declaredSize = readLittle32(data, 2);
    return declaredSize <= data.size() && readLittle32(data, 10) < data.size();
}

bool isStandaloneMarker(unsigned marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// Entropy-coded data runs to the first 0xFF that is neither stuffing (FF00), a restart marker
// nor fill.
std::size_t endOfScan(std::string_view data, std::size_t at) {
    for (at = data.find('\xFF', at); at != std::string_view::npos && at + 1 < data.size(); at = data.find('\xFF', at)) {
        const unsigned next = byteAt(data, at + 1);
        if (next != 0x00 && next != 0xFF && !isStandaloneMarker(next)) return at;
        at += next == 0xFF ? 1 : 2;
    }
    return data.size();
}

unsigned byteOrZero(std::string_view data, std::size_t at) { return at < data.size() ? byteAt(data, at) : 0; }

// Reads the tables as stb does, past the segment's end if the counts say so: the stb in Debian 12
// (2.27) writes past its 256-entry tables when the counts add up to more.
bool huffmanSegmentFits(std::string_view data, std::size_t at, std::size_t length) {
    long remaining = static_cast<long>(length) - 2;
    at += 4;
    while (remaining > 0) {
        long count = 0;
        for (std::size_t i = 1; i <= 16; ++i) count += byteOrZero(data, at + i);
        if (count > 256) return false;
        at += static_cast<std::size_t>(17 + count);
        remaining -= 17 + count;
    }
    return remaining == 0;
}

// Walks every segment up to the end marker. Anything stb could read differently is refused.
bool jpegTablesAreSafe(std::string_view data) {
    std::size_t at = 2;
    while (at + 2 <= data.size()) {
        if (byteAt(data, at) != 0xFF) return false;
        const unsigned marker = byteAt(data, at + 1);
        if (marker == 0xD9) return true;
        if (marker == 0xFF || isStandaloneMarker(marker)) {
            at += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (at + 4 > data.size()) return false;
        const std::size_t length = byteAt(data, at + 2) << 8 | byteAt(data, at + 3);
        if (length < 2 || (marker == 0xC4 && !huffmanSegmentFits(data, at, length))) return false;
        at += 2 + length;
        if (marker == 0xDA) at = endOfScan(data, at);
    }
    return false;
}

// stb itself fails on a PNG with a short zlib stream.
bool isSafeToDecode(ImageFormat format, std::string_view data) {
    if (format == ImageFormat::Jpeg) return jpegTablesAreSafe(data);
    if (format == ImageFormat::Bmp) return bmpReachesEnd(data);
    return true;
}

bool hasAlpha(const PixelView& pixels) { return pixels.channels == 2 || pixels.channels == 4; }

bool isTransparent(const PixelView& pixels) {
    if (!hasAlpha(pixels)) return false;
    const std::size_t step = static_cast<std::size_t>(pixels.channels);
    for (std::size_t at = step - 1; at < pixels.size(); at += step)
        if (pixels.data[at] != 0xFF) return true;
    return false;
}

std::vector<stbi_uc> withoutAlpha(const PixelView& pixels) {
    const std::size_t kept = static_cast<std::size_t>(pixels.channels - 1);
    std::vector<stbi_uc> out;
    out.reserve(pixels.size() / static_cast<std::size_t>(pixels.channels) * kept);
    for (std::size_t at = 0; at < pixels.size(); at += kept + 1)
        out.insert(out.end(), pixels.data + at, pixels.data + at + kept);
    return out;
}

int scaledSide(int side, double scale, int limit) {
    return std::clamp(static_cast<int>(std::lround(side * scale)), 1, limit);
}

bool fitsBox(const PixelView& pixels) { return pixels.width <= kImageFitWidth && pixels.height <= kImageFitHeight; }

double boxScale(int width, int height) {
    return std::min(static_cast<double>(kImageFitWidth) / width, static_cast<double>(kImageFitHeight) / height);
}

// Where stb's general scaler is slow for little gain: it works in floats for any filter.
bool shrinksToHalfOrLess(int width, int height) { return boxScale(width, height) <= 0.5; }

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
void scaleRowAcross(const std::uint16_t* source, const AreaTaps& across, stbi_uc* target) {
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
            *target++ = static_cast<stbi_uc>((sum[c] + (1u << (kWeightBits + 7))) >> (kWeightBits + 8));
    }
}

using RowScaler = void (*)(const std::uint16_t*, const AreaTaps&, stbi_uc*);

RowScaler rowScalerFor(int step, int kept) {
    if (step == 4) return kept == 3 ? scaleRowAcross<4, 3> : scaleRowAcross<4, 4>;
    if (step == 3) return scaleRowAcross<3, 3>;
    return step == 2 ? scaleRowAcross<2, 2> : scaleRowAcross<1, 1>;
}

// Area averaging in integers: down first, into one row of 8.8 fixed point, which is then
// scaled across. Only the first `kept` channels of each pixel are written.
std::vector<stbi_uc> areaScaled(const PixelView& pixels, int width, int height, int kept) {
    const AreaTaps across = areaTaps(pixels.width, width), down = areaTaps(pixels.height, height);
    const std::size_t sourceRow = static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.channels);
    const std::size_t targetRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(kept);
    const RowScaler scaleRow = rowScalerFor(pixels.channels, kept);
    std::vector<std::uint32_t> sums(sourceRow);
    std::vector<std::uint16_t> column(sourceRow);
    std::vector<stbi_uc> out(static_cast<std::size_t>(height) * targetRow);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* const sum = sums.data();
        for (int t = 0; t < down.count[y]; ++t) {
            const std::uint32_t weight = down.weights[static_cast<std::size_t>(down.start[y] + t)];
            const stbi_uc* const row = pixels.data + static_cast<std::size_t>(down.first[y] + t) * sourceRow;
            if (t == 0) {
                for (std::size_t at = 0; at < sourceRow; ++at) sum[at] = weight * row[at];
            } else {
                for (std::size_t at = 0; at < sourceRow; ++at) sum[at] += weight * row[at];
            }
        }
        std::uint16_t* const fixed = column.data();
        for (std::size_t at = 0; at < sourceRow; ++at)
            fixed[at] = static_cast<std::uint16_t>((sum[at] + (1u << (kWeightBits - 9))) >> (kWeightBits - 8));
        scaleRow(column.data(), across, out.data() + static_cast<std::size_t>(y) * targetRow);
    }
    return out;
}

// Area averaging (a box filter when shrinking) keeps fine print and line art legible.
// `kept` channels of each pixel are scaled; fewer than it has only for padded JPEG pixels.
std::vector<stbi_uc> scaledIntoBox(PixelView& pixels, int kept) {
    const double scale = boxScale(pixels.width, pixels.height);
    PixelView scaled{scaledSide(pixels.width, scale, kImageFitWidth), scaledSide(pixels.height, scale, kImageFitHeight),
                     kept, nullptr};
    std::vector<stbi_uc> out;
    if (shrinksToHalfOrLess(pixels.width, pixels.height)) {
        out = areaScaled(pixels, scaled.width, scaled.height, kept);
    } else {
        out.resize(scaled.size());
        if (!stbir_resize_uint8_generic(pixels.data, pixels.width, pixels.height, 0, out.data(), scaled.width,
                                        scaled.height, 0, pixels.channels, STBIR_ALPHA_CHANNEL_NONE, 0,
                                        STBIR_EDGE_CLAMP, STBIR_FILTER_BOX, STBIR_COLORSPACE_LINEAR, nullptr))
            return {};
    }
    scaled.data = out.data();
    pixels = scaled;
    return out;
}

void appendTo(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

// Baseline JPEG; one or two channels come out as neutral grey.
std::string encodedJpeg(const PixelView& pixels, int quality) {
    std::string out;
    if (!stbi_write_jpg_to_func(appendTo, &out, pixels.width, pixels.height, pixels.channels, pixels.data, quality))
        return {};
    return out;
}

std::string compactJpeg(const PixelView& pixels) {
    std::string best;
    for (const int quality : kJpegQualities) {
        best = encodedJpeg(pixels, quality);
        if (best.empty() || best.size() <= kImageKeepBytes) break;
    }
    return best;
}

FittedImage keep() { return {}; }
FittedImage keep(std::string problem) { return {std::nullopt, std::move(problem)}; }

// stb converts JPEG colours with SIMD only into four channels; the fourth is then passed over.
bool decodesPadded(ImageFormat format, const PixelView& header) {
    return format == ImageFormat::Jpeg && header.channels == 3 && header.width > 0 && header.height > 0 &&
           shrinksToHalfOrLess(header.width, header.height);
}

FittedImage reencoded(std::string_view data, ImageFormat format, const PixelView& header) {
    const bool padded = decodesPadded(format, header);
    int width = 0, height = 0, channels = 0;
    const StbPixels decoded(
        stbi_load_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels, padded ? 4 : 0));
    if (!decoded) return keep("it could not be decoded (" + stbReason() + ")");
    // stb 2.27 decodes a BMP with a height of 0; the scaler would divide by it and read rows.
    if (width <= 0 || height <= 0) return keep("it has no pixels");
    PixelView pixels{width, height, padded ? 4 : channels, decoded.get()};
    if (!padded && isTransparent(pixels)) return keep();

    std::vector<stbi_uc> opaque;
    if (!padded && hasAlpha(pixels)) {
        opaque = withoutAlpha(pixels);
        pixels = PixelView{width, height, channels - 1, opaque.data()};
    }
    std::vector<stbi_uc> scaled;
    if (!fitsBox(pixels)) {
        scaled = scaledIntoBox(pixels, padded ? 3 : pixels.channels);
        if (scaled.empty()) return keep("it could not be scaled down");
    }
    std::string jpeg = compactJpeg(pixels);
    if (jpeg.empty()) return keep("it could not be encoded as JPEG");
    if (jpeg.size() >= data.size()) return keep();
    return {std::move(jpeg), {}};
}

bool isDecodable(ImageFormat format, std::string_view data) {
    return (format == ImageFormat::Jpeg || format == ImageFormat::Png || format == ImageFormat::Bmp) &&
           data.size() <= static_cast<std::size_t>(INT_MAX);
}

}  // namespace

long long imagePixels(std::string_view data) {
    const ImageFormat format = sniffImageFormat(data);
    int width = 0, height = 0, channels = 0;
    if (!isDecodable(format, data) || !isSafeToDecode(format, data) ||
        !stbi_info_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels))
        return 0;
    return static_cast<long long>(width) * height;
}

FittedImage fitImage(std::string_view data) {
    const ImageFormat format = sniffImageFormat(data);
    if (format != ImageFormat::Jpeg && format != ImageFormat::Png && format != ImageFormat::Bmp) return keep();
    if (!isDecodable(format, data)) return keep("it is too large to decode");

    // Checked before stb reads even the header: its header reader loads the Huffman tables.
    const bool small = data.size() <= kImageKeepBytes;
    if (!isSafeToDecode(format, data)) return small ? keep() : keep("the file is damaged or cut short");
    int width = 0, height = 0, channels = 0;
    const bool known = stbi_info_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels) != 0;
    if (!known) return small ? keep() : keep("its header could not be read (" + stbReason() + ")");
    if (small && width <= kImageKeepSide && height <= kImageKeepSide) return keep();
    if (static_cast<long long>(width) * height > kImageMaxDecodePixels)
        return keep("at " + std::to_string(width) + "x" + std::to_string(height) +
                    " pixels it is too large to decode safely");
    try {
        return reencoded(data, format, PixelView{width, height, channels, nullptr});
    } catch (const std::bad_alloc&) {
        // A 32-bit converter can run short on a big picture; the book itself still fits.
        return keep("there was not enough memory to scale it down");
    }
}

}  // namespace mobigen
