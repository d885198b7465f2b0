#include "mobigen/images/image_fit.h"

#include "mobigen/images/images.h"
#include "mobigen/text/byte_order.h"

#include <stb_image.h>

#include <cstddef>
#include <cstdio>

// After the two above: jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
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

int scaledSide(int side, double scale, int limit) {
    return std::clamp(static_cast<int>(std::lround(side * scale)), 1, limit);
}

bool fitsBox(const PixelView& pixels) { return pixels.width <= kImageFitWidth && pixels.height <= kImageFitHeight; }

double boxScale(int width, int height) {
    return std::min(static_cast<double>(kImageFitWidth) / width, static_cast<double>(kImageFitHeight) / height);
}

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

// An opaque alpha channel is dropped here: the scaler reads only the colours.
RowScaler rowScalerFor(int step) {
    if (step == 4) return scaleRowAcross<4, 3>;
    if (step == 3) return scaleRowAcross<3, 3>;
    return step == 2 ? scaleRowAcross<2, 1> : scaleRowAcross<1, 1>;
}

// Pixels that own themselves.
struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<stbi_uc> pixels;
    PixelView view() const { return {width, height, channels, pixels.data()}; }
};

// Area averaging (a box filter when shrinking) keeps fine print and line art legible. In
// integers: down first, into one row of 8.8 fixed point, which is then scaled across. Source
// rows come from `rowAt` in order, each asked for at most twice in a row, so a decoder can hand
// them over one at a time; a null row ends the scaling with nothing.
template <typename RowAt>
Raster areaScaled(RowAt&& rowAt, const PixelView& source, int width, int height) {
    const AreaTaps across = areaTaps(source.width, width), down = areaTaps(source.height, height);
    const int kept = hasAlpha(source) ? source.channels - 1 : source.channels;
    const std::size_t sourceRow = static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.channels);
    const std::size_t targetRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(kept);
    const RowScaler scaleRow = rowScalerFor(source.channels);
    std::vector<std::uint32_t> sums(sourceRow);
    std::vector<std::uint16_t> column(sourceRow);
    Raster out{width, height, kept, std::vector<stbi_uc>(static_cast<std::size_t>(height) * targetRow)};
    for (int y = 0; y < height; ++y) {
        std::uint32_t* const sum = sums.data();
        for (int t = 0; t < down.count[y]; ++t) {
            const std::uint32_t weight = down.weights[static_cast<std::size_t>(down.start[y] + t)];
            const stbi_uc* const row = rowAt(down.first[y] + t);
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

std::size_t rowBytes(const PixelView& pixels) {
    return static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.channels);
}

// What a picture of `header`'s size becomes: itself if it fits the box, else the largest size
// inside the box with the same proportions.
PixelView fittedSize(const PixelView& header) {
    if (fitsBox(header)) return header;
    const double scale = boxScale(header.width, header.height);
    return {scaledSide(header.width, scale, kImageFitWidth), scaledSide(header.height, scale, kImageFitHeight),
            header.channels, nullptr};
}

// libjpeg reports errors through callbacks; the only way back out of its C frames is longjmp.
struct JpegError {
    jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
    std::jmp_buf escape;
};

[[noreturn]] void escapeFromJpeg(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->escape, 1);
}

// A warning means damaged data, and stb then decides as it always did. Nothing goes to stderr.
void onJpegMessage(j_common_ptr info, int level) {
    if (level < 0) escapeFromJpeg(info);
}
void printNothing(j_common_ptr) {}

// One libjpeg object; zeroed, so destroying it is safe even if creating it failed.
template <typename Info>
struct JpegSession {
    JpegError error{};
    Info info{};
    JpegSession() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = escapeFromJpeg;
        error.manager.emit_message = onJpegMessage;
        error.manager.output_message = printNothing;
    }
    ~JpegSession() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&info)); }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;
};

// The largest of libjpeg's 1/2, 1/4 and 1/8 reductions that still covers the target, so that the
// inverse DCT does most of the shrinking.
int jpegReduction(const PixelView& header, const PixelView& target) {
    int reduction = 1;
    while (reduction < 8 && (header.width + 2 * reduction - 1) / (2 * reduction) >= target.width &&
           (header.height + 2 * reduction - 1) / (2 * reduction) >= target.height)
        reduction *= 2;
    return reduction;
}

// No object with a destructor may live in this frame or the next: libjpeg's errors longjmp back
// into them.
bool startJpeg(JpegSession<jpeg_decompress_struct>& jpeg, std::string_view data, const PixelView& header,
               int reduction) {
    jpeg_decompress_struct& info = jpeg.info;
    if (setjmp(jpeg.error.escape) != 0) return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytesOf(data), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    // The limits were checked on stb's reading of the header; a different one is not trusted.
    if (info.image_width != static_cast<JDIMENSION>(header.width) ||
        info.image_height != static_cast<JDIMENSION>(header.height))
        return false;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(reduction);
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    return true;
}

bool readJpegRow(JpegSession<jpeg_decompress_struct>& jpeg, stbi_uc* row) {
    if (setjmp(jpeg.error.escape) != 0) return false;
    return jpeg_read_scanlines(&jpeg.info, &row, 1) == 1;
}

// Decoded a row at a time into two rows, all the scaler needs, so that no whole picture is
// ever held. Empty if libjpeg cannot read it.
Raster jpegScaled(std::string_view data, const PixelView& header, const PixelView& target) {
    JpegSession<jpeg_decompress_struct> jpeg;
    if (!startJpeg(jpeg, data, header, jpegReduction(header, target))) return {};
    const PixelView source{static_cast<int>(jpeg.info.output_width), static_cast<int>(jpeg.info.output_height),
                           jpeg.info.output_components, nullptr};
    const std::size_t stride = rowBytes(source);
    std::vector<stbi_uc> rows(2 * stride);
    int decoded = 0;
    const auto rowAt = [&](int y) -> const stbi_uc* {
        for (; decoded <= y; ++decoded)
            if (!readJpegRow(jpeg, rows.data() + static_cast<std::size_t>(decoded % 2) * stride)) return nullptr;
        return rows.data() + static_cast<std::size_t>(y % 2) * stride;
    };
    return areaScaled(rowAt, source, target.width, target.height);
}

// What libjpeg will not read stb decides on, as it did on every image before. The reason it
// could not, or "" with `fitted` left empty for a picture with transparency, which is kept.
std::string stbScaled(std::string_view data, const PixelView& target, Raster& fitted) {
    int width = 0, height = 0, channels = 0;
    const StbPixels decoded(stbi_load_from_memory(bytesOf(data), lengthOf(data), &width, &height, &channels, 0));
    if (!decoded) return "it could not be decoded (" + stbReason() + ")";
    // stb 2.27 decodes a BMP with a height of 0; the scaler would divide by it and read rows.
    if (width <= 0 || height <= 0) return "it has no pixels";
    const PixelView pixels{width, height, channels, decoded.get()};
    if (isTransparent(pixels)) return {};
    const std::size_t stride = rowBytes(pixels);
    const auto rowAt = [&](int y) { return pixels.data + static_cast<std::size_t>(y) * stride; };
    fitted = areaScaled(rowAt, pixels, target.width, target.height);
    return {};
}

// libjpeg's output, a chunk at a time, appended to a string.
struct JpegSink {
    jpeg_destination_mgr manager;  // first: libjpeg hands back a pointer to it
    std::string* out;
    JOCTET chunk[16384];
};

JpegSink& sinkOf(j_compress_ptr info) { return *reinterpret_cast<JpegSink*>(info->dest); }

void startChunk(j_compress_ptr info) {
    JpegSink& sink = sinkOf(info);
    sink.manager.next_output_byte = sink.chunk;
    sink.manager.free_in_buffer = sizeof sink.chunk;
}

bool appendChunk(JpegSink& sink, std::size_t size) noexcept {
    try {
        sink.out->append(reinterpret_cast<const char*>(sink.chunk), size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

boolean flushChunk(j_compress_ptr info) {
    if (!appendChunk(sinkOf(info), sizeof sinkOf(info).chunk)) escapeFromJpeg(reinterpret_cast<j_common_ptr>(info));
    startChunk(info);
    return TRUE;
}

void finishChunks(j_compress_ptr info) {
    JpegSink& sink = sinkOf(info);
    if (!appendChunk(sink, sizeof sink.chunk - sink.manager.free_in_buffer))
        escapeFromJpeg(reinterpret_cast<j_common_ptr>(info));
}

// Baseline 4:2:0 (grey stays one channel) with Huffman tables made for the picture. No object
// with a destructor may live in this frame.
bool writeJpeg(JpegSession<jpeg_compress_struct>& jpeg, JpegSink& sink, const PixelView& pixels, int quality) {
    jpeg_compress_struct& info = jpeg.info;
    if (setjmp(jpeg.error.escape) != 0) return false;
    jpeg_create_compress(&info);
    info.dest = &sink.manager;
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    info.input_components = pixels.channels;
    info.in_color_space = pixels.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;  // about 8% smaller for a tenth more time
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<stbi_uc*>(pixels.data) + info.next_scanline * rowBytes(pixels);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

std::string encodedJpeg(const PixelView& pixels, int quality) {
    std::string out;
    JpegSession<jpeg_compress_struct> jpeg;
    JpegSink sink{{}, &out, {}};
    sink.manager.init_destination = startChunk;
    sink.manager.empty_output_buffer = flushChunk;
    sink.manager.term_destination = finishChunks;
    if (!writeJpeg(jpeg, sink, pixels, quality)) return {};
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

FittedImage reencoded(std::string_view data, ImageFormat format, const PixelView& header) {
    const PixelView target = fittedSize(header);
    Raster fitted = format == ImageFormat::Jpeg ? jpegScaled(data, header, target) : Raster{};
    if (fitted.pixels.empty()) {
        const std::string problem = stbScaled(data, target, fitted);
        if (!problem.empty()) return keep(problem);
        if (fitted.pixels.empty()) return keep();
    }
    std::string jpeg = compactJpeg(fitted.view());
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

std::string encodeJpeg(const unsigned char* pixels, int width, int height, int channels) {
    return compactJpeg(PixelView{width, height, channels, pixels});
}

}  // namespace mobigen
