// Image shrinking on any bytes: a damaged or hostile header must neither crash the decoder
// nor make it allocate without bound, and a replacement is a smaller JPEG inside the box.

#include "fuzz/fuzz_support.h"
#include "mobigen/images/image_fit.h"

#include <stb_image.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);
    const mobigen::FittedImage fitted = mobigen::fitImage(bytes);
    if (!fitted.smaller) return 0;
    const std::string& jpeg = *fitted.smaller;
    fuzz::check(fitted.problem.empty(), "a replacement with a problem");
    fuzz::check(jpeg.size() < size, "the replacement is not smaller");
    fuzz::check(jpeg.rfind("\xFF\xD8\xFF", 0) == 0, "the replacement is not a JPEG");
    int width = 0, height = 0, channels = 0;
    fuzz::check(stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(jpeg.data()), static_cast<int>(jpeg.size()),
                                      &width, &height, &channels) != 0,
                "the replacement cannot be read back");
    fuzz::check(width <= mobigen::kImageFitWidth && height <= mobigen::kImageFitHeight,
                "the replacement is outside the box");
    return 0;
}
