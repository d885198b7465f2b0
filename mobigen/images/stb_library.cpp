// The one place the stb image headers are compiled as code; everything else sees declarations.
#include <zlib.h>

#include <cstdlib>

namespace {

// zlib's deflate, not stb's own: a transparent picture is written as PNG, and its record must
// stay small.
unsigned char* deflateForPng(unsigned char* data, int length, int* outLength, int /*quality*/) {
    uLongf size = compressBound(static_cast<uLong>(length));
    auto* out = static_cast<unsigned char*>(std::malloc(size));
    if (out == nullptr || compress2(out, &size, data, static_cast<uLong>(length), 9) != Z_OK) {
        std::free(out);
        return nullptr;
    }
    *outLength = static_cast<int>(size);
    return out;
}

}  // namespace

#define STBIW_ZLIB_COMPRESS deflateForPng
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
