#include "mobigen/images/jpeg_codec.h"

#include "mobigen/images/jpeg_segments.h"

#include <cstddef>
#include <cstdio>

// After the two above: jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>
#include <new>
#include <vector>

namespace mobigen {
namespace {

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

const unsigned char* bytesOf(std::string_view data) { return reinterpret_cast<const unsigned char*>(data.data()); }

// No object with a destructor may live in this frame or the next: libjpeg's errors longjmp back
// into them.
bool startDecompress(JpegSession<jpeg_decompress_struct>& jpeg, std::string_view data, int width, int height,
                     int reduction) {
    jpeg_decompress_struct& info = jpeg.info;
    if (setjmp(jpeg.error.escape) != 0) return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytesOf(data), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    // The limits were checked on stb's reading of the header; a different one is not trusted.
    if (info.image_width != static_cast<JDIMENSION>(width) || info.image_height != static_cast<JDIMENSION>(height))
        return false;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(reduction);
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    return true;
}

bool readScanline(JpegSession<jpeg_decompress_struct>& jpeg, std::uint8_t* row) {
    if (setjmp(jpeg.error.escape) != 0) return false;
    return jpeg_read_scanlines(&jpeg.info, &row, 1) == 1;
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

// No object with a destructor may live in this frame.
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
    info.write_JFIF_header = TRUE;
    info.density_unit = 1;  // some Kindles do not show a cover whose density has no unit
    info.X_density = kJfifDotsPerInch;
    info.Y_density = kJfifDotsPerInch;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(pixels.data) + info.next_scanline * pixels.rowBytes();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

}  // namespace

int jpegReduction(int sourceWidth, int sourceHeight, int width, int height) {
    int reduction = 1;
    while (reduction < 8 && (sourceWidth + 2 * reduction - 1) / (2 * reduction) >= width &&
           (sourceHeight + 2 * reduction - 1) / (2 * reduction) >= height)
        reduction *= 2;
    return reduction;
}

struct JpegRowReader::Session : JpegSession<jpeg_decompress_struct> {};

JpegRowReader::JpegRowReader() : session_(std::make_unique<Session>()) {}
JpegRowReader::~JpegRowReader() = default;

bool JpegRowReader::start(std::string_view data, int expectedWidth, int expectedHeight, int reduction) {
    return startDecompress(*session_, data, expectedWidth, expectedHeight, reduction);
}

bool JpegRowReader::readRow(std::uint8_t* row) { return readScanline(*session_, row); }

PixelView JpegRowReader::output() const {
    const jpeg_decompress_struct& info = session_->info;
    return {static_cast<int>(info.output_width), static_cast<int>(info.output_height), info.output_components, nullptr};
}

Raster decodeJpegScaled(std::string_view data, int sourceWidth, int sourceHeight, int width, int height) {
    JpegRowReader reader;
    if (!reader.start(data, sourceWidth, sourceHeight, jpegReduction(sourceWidth, sourceHeight, width, height)))
        return {};
    const PixelView source = reader.output();
    const std::size_t stride = source.rowBytes();
    std::vector<std::uint8_t> rows(2 * stride);
    int decoded = 0;
    const auto rowAt = [&](int y) -> const std::uint8_t* {
        for (; decoded <= y; ++decoded)
            if (!reader.readRow(rows.data() + static_cast<std::size_t>(decoded % 2) * stride)) return nullptr;
        return rows.data() + static_cast<std::size_t>(y % 2) * stride;
    };
    return areaScaled(rowAt, source, width, height);
}

std::string encodeJpeg(const PixelView& pixels, int quality) {
    std::string out;
    JpegSession<jpeg_compress_struct> jpeg;
    JpegSink sink{{}, &out, {}};
    sink.manager.init_destination = startChunk;
    sink.manager.empty_output_buffer = flushChunk;
    sink.manager.term_destination = finishChunks;
    if (!writeJpeg(jpeg, sink, pixels, quality)) return {};
    return out;
}

}  // namespace mobigen
