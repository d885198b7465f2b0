#include "mobigen/images/image_fit.h"

#include "mobigen/images/area_scaler.h"
#include "mobigen/images/images.h"
#include "mobigen/images/jpeg_codec.h"
#include "mobigen/images/jpeg_segments.h"
#include "mobigen/text/byte_order.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace mobigen {
namespace {

// Quality steps down only while the result is still over the record limit; then the size does.
constexpr int kJpegQualities[] = {80, 70, 60};
constexpr int kThumbnailQuality = 75;
constexpr int kSmallestSide = 8;  // a picture squeezed further would show nothing

struct StbFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbFree>;

const stbi_uc* bytesOf(std::string_view data) { return reinterpret_cast<const stbi_uc*>(data.data()); }
int lengthOf(std::string_view data) { return static_cast<int>(data.size()); }

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

// stb itself fails on a PNG with a short zlib stream.
bool isSafeToDecode(ImageFormat format, std::string_view data) {
    if (format == ImageFormat::Jpeg) return jpegTablesAreSafe(data);
    if (format == ImageFormat::Bmp) return bmpReachesEnd(data);
    return true;
}

bool isRaster(ImageFormat format) {
    return format == ImageFormat::Jpeg || format == ImageFormat::Png || format == ImageFormat::Bmp ||
           format == ImageFormat::Gif;
}

bool isDecodable(ImageFormat format, std::string_view data) {
    return isRaster(format) && data.size() <= static_cast<std::size_t>(INT_MAX);
}

bool isTransparent(const PixelView& pixels) {
    if (!hasAlpha(pixels)) return false;
    const std::size_t step = static_cast<std::size_t>(pixels.channels);
    for (std::size_t at = step - 1; at < pixels.size(); at += step)
        if (pixels.data[at] != 0xFF) return true;
    return false;
}

struct Box {
    int width = 0;
    int height = 0;
};

// Itself if it fits the box, else the largest size inside the box with the same proportions.
Box fittedInto(Box picture, Box box) {
    if (picture.width <= box.width && picture.height <= box.height) return picture;
    const double scale =
        std::min(static_cast<double>(box.width) / picture.width, static_cast<double>(box.height) / picture.height);
    return {std::clamp(static_cast<int>(std::lround(picture.width * scale)), 1, box.width),
            std::clamp(static_cast<int>(std::lround(picture.height * scale)), 1, box.height)};
}

bool swapsSides(int orientation) { return orientation >= 5; }

struct Decoded {
    Raster raster;        // alpha kept only where it shows
    std::string problem;  // why it could not be decoded
};

// What libjpeg will not read stb decides on, as it did on every image before.
Decoded stbDecodedInto(std::string_view data, Box target) {
    int width = 0, height = 0, channels = 0;
    const StbPixels decoded(stbi_load_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels, 0));
    if (!decoded) return {{}, "it could not be decoded (" + stbReason() + ")"};
    // stb 2.27 decodes a BMP with a height of 0; the scaler would divide by it and read rows.
    if (width <= 0 || height <= 0) return {{}, "it has no pixels"};
    const PixelView pixels{width, height, channels, decoded.get()};
    return {areaScaled(pixels, target.width, target.height, isTransparent(pixels)), {}};
}

// Decoded and scaled to `target` (upright, as `orientation` turns it).
Decoded decodedInto(std::string_view data, ImageFormat format, Box source, Box target, int orientation) {
    const Box stored = swapsSides(orientation) ? Box{target.height, target.width} : target;
    Decoded decoded;
    if (format == ImageFormat::Jpeg)
        decoded.raster = decodeJpegScaled(data, source.width, source.height, stored.width, stored.height);
    if (decoded.raster.pixels.empty()) decoded = stbDecodedInto(data, stored);
    if (decoded.problem.empty() && orientation != 1) decoded.raster = turned(decoded.raster, orientation);
    return decoded;
}

std::string encodePng(const PixelView& pixels, int /*quality*/) {
    std::string out;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    };
    if (stbi_write_png_to_func(append, &out, pixels.width, pixels.height, pixels.channels, pixels.data,
                               static_cast<int>(pixels.rowBytes())) == 0)
        return {};
    return out;
}

using Encoder = std::function<std::string(const PixelView&, int quality)>;

// Lower qualities first, then smaller sizes, each step aimed at the limit from the last size.
std::string withinRecordLimit(Raster raster, const Encoder& encode, const std::vector<int>& qualities) {
    std::string out;
    for (const int quality : qualities) {
        out = encode(raster.view(), quality);
        if (out.empty() || out.size() <= kImageKeepBytes) return out;
    }
    while (std::min(raster.width, raster.height) > kSmallestSide) {
        const double scale = std::clamp(
            std::sqrt(static_cast<double>(kImageKeepBytes) / static_cast<double>(out.size())) * 0.95, 0.5, 0.9);
        const int width = std::max(1, static_cast<int>(raster.width * scale));
        const int height = std::max(1, static_cast<int>(raster.height * scale));
        raster = areaScaled(raster.view(), width, height, hasAlpha(raster.view()));
        out = encode(raster.view(), qualities.back());
        if (out.empty() || out.size() <= kImageKeepBytes) return out;
    }
    return {};
}

std::string compactEncoding(Raster raster) {
    if (hasAlpha(raster.view())) return withinRecordLimit(std::move(raster), encodePng, {0});
    return withinRecordLimit(std::move(raster), encodeJpeg, {std::begin(kJpegQualities), std::end(kJpegQualities)});
}

FittedImage keep() { return {}; }
FittedImage keep(std::string problem) { return {std::nullopt, std::move(problem)}; }
FittedImage replaced(std::string data) { return {std::move(data), {}}; }

struct Source {
    std::string_view data;
    ImageFormat format;
    Box box;
    JpegHeader jpeg;  // for a JPEG
};

// The file kept, a JPEG with its header patched if need be; nothing when the patch cannot be
// made or would take it over the limit.
std::optional<FittedImage> keptAsIs(const Source& source) {
    if (source.format != ImageFormat::Jpeg || (source.jpeg.jfifFirst && source.jpeg.densityInDpi)) return keep();
    std::optional<std::string> patched = withJfifHeader(source.data);
    if (!patched || patched->size() > kImageKeepBytes) return std::nullopt;
    return replaced(std::move(*patched));
}

FittedImage reencoded(const Source& source, bool mustChange) {
    const Box upright = swapsSides(source.jpeg.orientation) ? Box{source.box.height, source.box.width} : source.box;
    const Box target = fittedInto(upright, {kImageFitWidth, kImageFitHeight});
    Decoded decoded = decodedInto(source.data, source.format, source.box, target, source.jpeg.orientation);
    if (!decoded.problem.empty()) return keep(decoded.problem);
    std::string out = compactEncoding(std::move(decoded.raster));
    if (out.empty()) return keep("it could not be encoded small enough");
    if (out.size() < source.data.size() || mustChange) return replaced(std::move(out));
    std::optional<FittedImage> kept = keptAsIs(source);
    return kept ? std::move(*kept) : replaced(std::move(out));
}

FittedImage fitted(const Source& source) {
    const bool small = source.data.size() <= kImageKeepBytes;
    const bool fitsScreen = source.box.width <= kImageKeepSide && source.box.height <= kImageKeepSide;
    const bool plainJpeg = source.format != ImageFormat::Jpeg || canTakeJfif(source.jpeg);
    if (small && fitsScreen && plainJpeg) {
        std::optional<FittedImage> kept = keptAsIs(source);
        if (kept) return std::move(*kept);
    }
    if (static_cast<long long>(source.box.width) * source.box.height > kImageMaxDecodePixels)
        return keep("at " + std::to_string(source.box.width) + "x" + std::to_string(source.box.height) +
                    " pixels it is too large to decode safely");
    // One too large for the screen is scaled even where its JPEG came out no smaller.
    return reencoded(source, !small || !plainJpeg || !fitsScreen);
}

// The header as stb reads it, after the checks that make reading it safe; the reason otherwise.
std::optional<Source> readableSource(std::string_view data, std::string& problem) {
    const ImageFormat format = sniffImageFormat(data);
    if (!isDecodable(format, data)) {
        if (isRaster(format)) problem = "it is too large to decode";
        return std::nullopt;
    }
    // Checked before stb reads even the header: its header reader loads the Huffman tables.
    if (!isSafeToDecode(format, data)) {
        problem = "the file is damaged or cut short";
        return std::nullopt;
    }
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels)) {
        problem = "its header could not be read (" + stbReason() + ")";
        return std::nullopt;
    }
    return Source{data, format, {width, height}, format == ImageFormat::Jpeg ? readJpegHeader(data) : JpegHeader{}};
}

}  // namespace

long long imagePixels(std::string_view data) {
    std::string problem;
    const std::optional<Source> source = readableSource(data, problem);
    return source ? static_cast<long long>(source->box.width) * source->box.height : 0;
}

FittedImage fitImage(std::string_view data) {
    std::string problem;
    const std::optional<Source> source = readableSource(data, problem);
    // A small file that cannot be read costs nothing to keep, so it is not worth a warning.
    if (!source) return data.size() <= kImageKeepBytes ? keep() : keep(problem);
    try {
        return fitted(*source);
    } catch (const std::bad_alloc&) {
        // A 32-bit converter can run short on a big picture; the book itself still fits.
        return keep("there was not enough memory to scale it down");
    }
}

std::string thumbnailOf(std::string_view cover) {
    std::string problem;
    const std::optional<Source> source = readableSource(cover, problem);
    if (!source || static_cast<long long>(source->box.width) * source->box.height > kImageMaxDecodePixels) return {};
    try {
        const Box upright =
            swapsSides(source->jpeg.orientation) ? Box{source->box.height, source->box.width} : source->box;
        Decoded decoded =
            decodedInto(cover, source->format, source->box, fittedInto(upright, {kThumbnailWidth, kThumbnailHeight}),
                        source->jpeg.orientation);
        if (!decoded.problem.empty()) return {};
        return encodeJpeg(onWhite(decoded.raster).view(), kThumbnailQuality);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::optional<RgbaImage> decodeRgba(std::string_view data, long long maxPixels) {
    const ImageFormat format = sniffImageFormat(data);
    if (!isDecodable(format, data) || !isSafeToDecode(format, data)) return std::nullopt;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels) || width <= 0 ||
        height <= 0 || static_cast<long long>(width) * height > std::min(maxPixels, kImageMaxDecodePixels))
        return std::nullopt;
    const StbPixels decoded(stbi_load_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels, 4));
    if (!decoded) return std::nullopt;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    return RgbaImage{width, height, std::vector<unsigned char>(decoded.get(), decoded.get() + size)};
}

std::string encodeFittedJpeg(const unsigned char* pixels, int width, int height, int channels) {
    const PixelView view{width, height, channels, pixels};
    Raster raster{width, height, channels, std::vector<std::uint8_t>(pixels, pixels + view.size())};
    return compactEncoding(std::move(raster));
}

}  // namespace mobigen
