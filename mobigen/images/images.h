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

// Whether an SVG draws shapes (or uses of them): those are worth a rendering, while text
// alone is better given as text and a lone picture as itself.
bool svgDrawsShapes(std::string_view svg);

// The picture an SVG document shows when it only wraps one: the href of its first <image>,
// unless it also draws shapes or text.
std::optional<std::string> wrappedPictureHref(std::string_view svg);

// Gathers the images a book uses, each file once, in the order first referenced. Images are
// fitted (image_fit.h) together at the end, on every core; SVG images are rendered then into
// a raster for the MOBI 6 part.
class ImageCollector {
public:
    using Loader = std::function<std::optional<std::string>()>;
    // Reads a file of the book by its resolved path, for the pictures an SVG links to.
    using FileLoader = std::function<std::optional<std::string>(const std::string& path)>;

    ImageCollector(std::vector<Image>& images, Diagnostics& diagnostics) : images_(images), diagnostics_(diagnostics) {}

    void setFileLoader(FileLoader load) { loadFile_ = std::move(load); }

    // The 1-based record of the image at `path`, loading it on first use; 0 (reported once)
    // when it is missing or in a format MOBI readers cannot show. An SVG is rendered at least
    // `svgMinHeight` pixels high where a reader's screen allows.
    std::size_t record(const std::string& path, const Loader& load, int svgMinHeight = 0);

    // A record for a thumbnail of the image at `coverRecord` (1-based), made from whatever that
    // image is once fitted.
    std::size_t thumbnail(std::size_t coverRecord);

    // Whether `path` was asked for before, and whether it held SVG then.
    bool isKnown(const std::string& path) const { return records_.count(path) != 0; }
    bool isSvg(const std::string& path) const { return svgPaths_.count(path) != 0; }
    // Replaces each image recorded so far by its fitted form, and each SVG by its rendering.
    // Each result lands in its own place, so the book does not depend on the number of threads.
    void fitAll();

private:
    void makeThumbnails();
    // An SVG waiting in images_[index], with the linked pictures it draws, read beforehand:
    // the archive is not read from several threads.
    struct PendingSvg {
        std::size_t index;
        int minHeight;
        std::map<std::string, std::string> linked;  // by href as written
    };
    std::size_t recordSvg(const std::string& path, std::string svg, int minHeight);
    std::map<std::string, std::string> linkedPictures(const std::string& path, std::string_view svg) const;
    void renderSvgs(std::vector<std::vector<std::string>>& warnings);

    std::vector<Image>& images_;
    Diagnostics& diagnostics_;
    FileLoader loadFile_;
    std::map<std::string, std::size_t> records_;
    std::set<std::string> svgPaths_;
    std::vector<std::string> unfittedPaths_;                       // of images_[fitted_ ...]
    std::vector<std::pair<std::size_t, std::size_t>> thumbnails_;  // record, its cover's record
    std::vector<PendingSvg> pendingSvgs_;
    std::size_t fitted_ = 0;
};

}  // namespace mobigen
