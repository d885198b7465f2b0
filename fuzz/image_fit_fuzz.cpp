// Image fitting on any bytes: a damaged or hostile header must neither crash the decoder nor
// make it allocate without bound, and a replacement fits a record and a screen, a JPEG one
// behind a JFIF header.

#include "fuzz/fuzz_support.h"
#include "mobigen/images/image_fit.h"
#include "mobigen/images/jpeg_segments.h"

#include <stb_image.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);
    const mobigen::FittedImage fitted = mobigen::fitImage(bytes);
    if (!fitted.replacement) return 0;
    const std::string& image = *fitted.replacement;
    fuzz::check(fitted.problem.empty(), "a replacement with a problem");
    fuzz::check(image.size() <= mobigen::kImageKeepBytes, "the replacement is over the record limit");
    const bool png = image.rfind("\x89PNG", 0) == 0;
    const mobigen::JpegHeader header = mobigen::readJpegHeader(image);
    fuzz::check(png || (header.jfifFirst && header.densityInDpi), "the replacement is neither PNG nor JFIF");
    int width = 0, height = 0, channels = 0;
    fuzz::check(stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(image.data()), static_cast<int>(image.size()),
                                      &width, &height, &channels) != 0,
                "the replacement cannot be read back");
    fuzz::check(width <= mobigen::kImageKeepSide && height <= mobigen::kImageKeepSide,
                "the replacement is larger than a screen");
    return 0;
}
