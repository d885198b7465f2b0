#include "mobigen/images/images.h"

#include "mobigen/images/image_fit.h"
#include "mobigen/images/svg_render.h"
#include "mobigen/source/href.h"
#include "mobigen/source/xml.h"

#include <algorithm>
#include <atomic>
#include <thread>

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

std::string imageMimeType(std::string_view data) {
    switch (sniffImageFormat(data)) {
    case ImageFormat::Gif:
        return "image/gif";
    case ImageFormat::Png:
        return "image/png";
    case ImageFormat::Bmp:
        return "image/bmp";
    default:
        return "image/jpeg";
    }
}

namespace {

bool isShape(std::string_view element) {
    for (const char* shape : {"path", "rect", "circle", "ellipse", "line", "polyline", "polygon", "use"})
        if (element == shape) return true;
    return false;
}

}  // namespace

bool svgDrawsShapes(std::string_view svg) {
    HtmlTokenizer tokenizer(svg);
    HtmlToken token;
    while (tokenizer.next(token))
        if (token.kind == HtmlTokenKind::StartTag && isShape(localPart(token.name))) return true;
    return false;
}

const std::string* svgImageHref(const HtmlToken& token) {
    const std::string* href = token.attribute("xlink:href");
    return href != nullptr ? href : token.attribute("href");
}

std::optional<std::string> wrappedPictureHref(std::string_view svg) {
    HtmlTokenizer tokenizer(svg);
    HtmlToken token;
    std::optional<std::string> href;
    while (tokenizer.next(token)) {
        if (token.kind != HtmlTokenKind::StartTag) continue;
        const std::string_view element = localPart(token.name);
        if (isShape(element) || element == "text") return std::nullopt;  // more than a picture
        const std::string* link = svgImageHref(token);
        if (token.name == "image" && link != nullptr && !href) href = *link;
    }
    return href;
}

std::size_t ImageCollector::record(const std::string& path, const Loader& load, int svgMinHeight) {
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
            record = recordSvg(path, std::move(*data), svgMinHeight);
        } else if (format == ImageFormat::Unknown) {
            diagnostics_.warn("The image " + path + " is not JPEG, GIF, PNG, BMP or SVG and was left out.");
        } else {
            images_.push_back(Image{std::move(*data)});
            unfittedPaths_.push_back(path);
            record = images_.size();
        }
    }
    records_.emplace(path, record);
    return record;
}

// Read now, drawn in fitAll(); one that cannot be read has no record.
std::size_t ImageCollector::recordSvg(const std::string& path, std::string svg, int minHeight) {
    std::string problem = "it draws no shapes.";
    if (!svgDrawsShapes(svg) || !svgIntrinsicSize(svg, &problem)) {
        diagnostics_.warn("The SVG image " + path + " was left out of the MOBI 6 part: " + problem);
        return 0;
    }
    std::map<std::string, std::string> linked = linkedPictures(path, svg);
    images_.push_back(Image{std::move(svg)});
    unfittedPaths_.push_back(path);
    pendingSvgs_.push_back({images_.size() - 1, minHeight, std::move(linked)});
    return images_.size();
}

std::map<std::string, std::string> ImageCollector::linkedPictures(const std::string& path, std::string_view svg) const {
    std::map<std::string, std::string> linked;
    if (!loadFile_) return linked;
    HtmlTokenizer tokenizer(svg);
    HtmlToken token;
    while (tokenizer.next(token)) {
        const std::string* href =
            token.kind == HtmlTokenKind::StartTag && localPart(token.name) == "image" ? svgImageHref(token) : nullptr;
        if (href == nullptr || hasUriScheme(*href) || linked.count(*href) != 0) continue;
        const auto resolved = resolvePath(folderOf(path), splitHref(*href).path);
        if (!resolved) continue;
        if (auto data = loadFile_(*resolved)) linked.emplace(*href, std::move(*data));
    }
    return linked;
}

namespace {

// Pictures this large are fitted one at a time: two at once could exhaust a 32-bit
// converter's memory, and whether one fails must not depend on the thread count.
constexpr long long kParallelFitPixels = 12000000;

unsigned workerCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, 8u); }

// work(k) for each k below count, on up to `threads` threads.
template <typename Work>
void forEachParallel(std::size_t count, unsigned threads, const Work& work) {
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t k = next++; k < count; k = next++) work(k);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::min<std::size_t>(threads, count); ++t) helpers.emplace_back(run);
    run();
    for (std::thread& helper : helpers) helper.join();
}

void fitEach(const std::vector<Image>& images, const std::vector<std::size_t>& which, std::vector<FittedImage>& results,
             unsigned threads) {
    forEachParallel(which.size(), threads, [&](std::size_t k) { results[which[k]] = fitImage(images[which[k]].data); });
}

// A picture that could not be drawn still fills the record the text points at.
std::string blankPicture() {
    const unsigned char white[3] = {255, 255, 255};
    return encodeFittedJpeg(white, 1, 1, 3);
}

}  // namespace

void ImageCollector::renderSvgs(std::vector<std::vector<std::string>>& warnings) {
    forEachParallel(pendingSvgs_.size(), workerCount(), [&](std::size_t k) {
        PendingSvg& pending = pendingSvgs_[k];
        const auto load = [&](std::string_view href) -> std::optional<std::string> {
            const auto found = pending.linked.find(std::string(href));
            if (found == pending.linked.end()) return std::nullopt;
            return found->second;
        };
        SvgRaster raster;
        try {
            raster = rasterizeSvg(images_[pending.index].data, pending.minHeight, load);
        } catch (const std::bad_alloc&) {
            raster.warnings.push_back("There was not enough memory to draw it.");
        }
        warnings[k] = std::move(raster.warnings);
        if (!raster.image) {
            warnings[k].push_back("It was left blank in the MOBI 6 part.");
            raster.image = blankPicture();
        }
        images_[pending.index].data = std::move(*raster.image);
        pending.linked.clear();
    });
}

void ImageCollector::fitAll() {
    std::vector<std::vector<std::string>> svgWarnings(pendingSvgs_.size());
    renderSvgs(svgWarnings);
    std::set<std::size_t> rendered;
    for (std::size_t k = 0; k < pendingSvgs_.size(); ++k) {
        rendered.insert(pendingSvgs_[k].index);
        for (const std::string& warning : svgWarnings[k])
            diagnostics_.warn("The SVG image " + unfittedPaths_[pendingSvgs_[k].index - fitted_] + ": " + warning);
    }
    pendingSvgs_.clear();
    std::vector<std::size_t> together, alone;
    for (std::size_t i = fitted_; i < images_.size(); ++i)
        if (rendered.count(i) == 0) (imagePixels(images_[i].data) > kParallelFitPixels ? alone : together).push_back(i);
    std::vector<FittedImage> results(images_.size());
    fitEach(images_, together, results, workerCount());
    fitEach(images_, alone, results, 1);
    for (std::size_t i = fitted_; i < images_.size(); ++i) {
        if (!results[i].problem.empty())
            diagnostics_.warn("The image " + unfittedPaths_[i - fitted_] +
                              " was stored as it is: " + results[i].problem + ".");
        if (results[i].replacement) images_[i].data = std::move(*results[i].replacement);
    }
    makeThumbnails();
    unfittedPaths_.clear();
    fitted_ = images_.size();
}

std::size_t ImageCollector::thumbnail(std::size_t coverRecord) {
    images_.push_back(Image{});
    unfittedPaths_.emplace_back("the cover's thumbnail");
    thumbnails_.emplace_back(images_.size(), coverRecord);
    return images_.size();
}

// After the fitting, so that a thumbnail follows the cover as it is stored. One that cannot be
// made is the cover itself: a reader then still shows something.
void ImageCollector::makeThumbnails() {
    for (const auto& [record, cover] : thumbnails_) {
        std::string small = thumbnailOf(images_[cover - 1].data);
        images_[record - 1].data = small.empty() ? images_[cover - 1].data : std::move(small);
    }
    thumbnails_.clear();
}

}  // namespace mobigen
