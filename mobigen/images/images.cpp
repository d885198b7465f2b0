#include "mobigen/images/images.h"

#include "mobigen/images/image_fit.h"

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
        if (token.name == "text") return std::nullopt;
        const std::string* link = svgImageHref(token);
        if (token.name == "image" && link != nullptr && !href) href = *link;
    }
    return href;
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
            unreportedSvgs_.push_back(path);
        } else if (format == ImageFormat::Unknown) {
            diagnostics_.warn("The image " + path + " is not JPEG, GIF, PNG or BMP and was left out.");
        } else {
            images_.push_back(Image{std::move(*data)});
            unfittedPaths_.push_back(path);
            record = images_.size();
        }
    }
    records_.emplace(path, record);
    return record;
}

namespace {

// Pictures this large are fitted one at a time: two at once could exhaust a 32-bit
// converter's memory, and whether one fails must not depend on the thread count.
constexpr long long kParallelFitPixels = 12000000;

void fitEach(const std::vector<Image>& images, const std::vector<std::size_t>& which, std::vector<FittedImage>& results,
             unsigned threads) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < which.size(); k = next++) results[which[k]] = fitImage(images[which[k]].data);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::min<std::size_t>(threads, which.size()); ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

}  // namespace

void ImageCollector::fitAll() {
    std::vector<std::size_t> together, alone;
    for (std::size_t i = fitted_; i < images_.size(); ++i)
        (imagePixels(images_[i].data) > kParallelFitPixels ? alone : together).push_back(i);
    std::vector<FittedImage> results(images_.size());
    fitEach(images_, together, results, std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
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
    reportSvgs();
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

// One warning for them all: a book drawn in SVG has dozens, and the KF8 part keeps them.
void ImageCollector::reportSvgs() {
    if (unreportedSvgs_.empty()) return;
    const std::string& first = unreportedSvgs_.front();
    const std::size_t count = unreportedSvgs_.size();
    diagnostics_.warn((count == 1 ? "The SVG image " + first + " was"
                                  : std::to_string(count) + " SVG images (such as " + first + ") were") +
                      " left out of the MOBI 6 part: older readers cannot show SVG.");
    unreportedSvgs_.clear();
}

}  // namespace mobigen
