#pragma once

#include "mobigen/book.h"
#include "mobigen/text/html_tokenizer.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mobigen {

enum class ImageFormat { Unknown, Jpeg, Gif, Png, Bmp, Svg };

// Judged by the bytes, not the name or the declared media type.
ImageFormat sniffImageFormat(std::string_view data);

// "image/jpeg" and the like, judged by the bytes; JPEG when they say nothing else.
std::string imageMimeType(std::string_view data);

// An SVG <image>'s link, in either spelling.
const std::string* svgImageHref(const HtmlToken& token);

// The picture an SVG document shows when it only wraps one: the href of its first <image>,
// unless it also draws text.
std::optional<std::string> wrappedPictureHref(std::string_view svg);

// Gathers the images a book uses, each file once, in the order first referenced. Images are
// fitted (image_fit.h) together at the end, on every core.
class ImageCollector {
public:
    using Loader = std::function<std::optional<std::string>()>;

    ImageCollector(std::vector<Image>& images, Diagnostics& diagnostics) : images_(images), diagnostics_(diagnostics) {}

    // The 1-based record of the image at `path`, loading it on first use; 0 (reported once)
    // when it is missing or in a format MOBI readers cannot show.
    std::size_t record(const std::string& path, const Loader& load);

    // A record for a thumbnail of the image at `coverRecord` (1-based), made from whatever that
    // image is once fitted.
    std::size_t thumbnail(std::size_t coverRecord);

    // Whether `path` was asked for before, and whether it held SVG then.
    bool isKnown(const std::string& path) const { return records_.count(path) != 0; }
    bool isSvg(const std::string& path) const { return svgPaths_.count(path) != 0; }
    // Replaces each image recorded so far by its fitted form. Each result lands in its own
    // place, so the book does not depend on the number of threads.
    // Then reports the SVG images left out since the last call.
    void fitAll();

private:
    void reportSvgs();
    void makeThumbnails();

    std::vector<Image>& images_;
    Diagnostics& diagnostics_;
    std::map<std::string, std::size_t> records_;
    std::set<std::string> svgPaths_;
    std::vector<std::string> unfittedPaths_;  // of images_[fitted_ ...]
    std::vector<std::string> unreportedSvgs_;
    std::vector<std::pair<std::size_t, std::size_t>> thumbnails_;  // record, its cover's record
    std::size_t fitted_ = 0;
};

}  // namespace mobigen
