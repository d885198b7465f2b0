#include "mobigen/flow/images.h"

#include "mobigen/flow/image_fit.h"

namespace mobigen {

ImageFormat sniffImageFormat(std::string_view data) {
    if (data.substr(0, 3) == "\xFF\xD8\xFF") return ImageFormat::Jpeg;
    if (data.substr(0, 4) == "GIF8") return ImageFormat::Gif;
    if (data.substr(0, 8) == "\x89PNG\r\n\x1A\n") return ImageFormat::Png;
    if (data.substr(0, 2) == "BM" && data.size() > 26) return ImageFormat::Bmp;
    const std::string_view head = data.substr(0, 512);
    if (head.find("<svg") != std::string_view::npos) return ImageFormat::Svg;
    return ImageFormat::Unknown;
}

std::size_t ImageCollector::record(const std::string& path, const Loader& load) {
    const auto known = records_.find(path);
    if (known != records_.end()) return known->second;
    std::size_t record = 0;
    std::optional<std::string> data = load();
    if (!data) {
        diagnostics_.warn("The image " + path + " is missing and was left out.");
    } else {
        const ImageFormat format = sniffImageFormat(*data);
        if (format == ImageFormat::Svg) {
            svgPaths_.insert(path);
            diagnostics_.warn("The SVG image " + path + " was left out: MOBI readers cannot show SVG.");
        } else if (format == ImageFormat::Unknown) {
            diagnostics_.warn("The image " + path + " is not JPEG, GIF, PNG or BMP and was left out.");
        } else {
            FittedImage fitted = fitImage(*data);
            if (!fitted.problem.empty())
                diagnostics_.warn("The image " + path + " was stored as it is: " + fitted.problem + ".");
            images_.push_back(Image{fitted.smaller ? std::move(*fitted.smaller) : std::move(*data)});
            record = images_.size();
        }
    }
    records_.emplace(path, record);
    return record;
}

}  // namespace mobigen
