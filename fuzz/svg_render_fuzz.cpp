// The SVG renderer on any bytes: hostile markup must neither crash it nor keep it busy, and a
// picture it draws has exactly the pixels asked for.

#include "fuzz/fuzz_support.h"
#include "mobigen/images/svg_render.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);
    // Every linked picture is the same small one: the fuzzer cannot name files.
    const std::string_view png("\x89PNG\r\n\x1A\n", 8);
    const mobigen::SvgResourceLoader load = [&](std::string_view) { return std::optional<std::string>(png); };
    const mobigen::SvgRendering r = mobigen::renderSvg(bytes, 64, 48, load);
    fuzz::check(r.rgba.empty() || r.rgba.size() == 64u * 48u * 4u, "a picture of the wrong size");
    fuzz::check(!r.rgba.empty() || !r.warnings.empty(), "no picture and no reason");
    return 0;
}
