#pragma once

// Gathers the KF8 part of a book while its documents are written: one merged stylesheet,
// SVG flows, fonts, and the styles left out (reported in one warning).

#include "mobigen/book.h"
#include "mobigen/images/images.h"
#include "mobigen/kf8/css_filter.h"
#include "mobigen/kf8/markup.h"
#include "mobigen/kf8/xhtml_writer.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace mobigen {

class Kf8Collector {
public:
    // Reads a file of the book by its resolved path; nothing when it is missing.
    using Loader = std::function<std::optional<std::string>(const std::string& path)>;
    // Turns a font file as stored into a plain one, or nothing when it cannot be undone.
    using FontDecoder = std::function<std::optional<std::string>(const std::string& path, std::string data)>;

    Kf8Collector(std::vector<Image>& images, ImageCollector& collector, Loader load, Diagnostics& diagnostics)
        : images_(images), collector_(collector), load_(std::move(load)), diagnostics_(diagnostics) {}

    void setFontDecoder(FontDecoder decoder) { decodeFont_ = std::move(decoder); }

    // The address for an image file; SVG (when `svgAllowed`) becomes a flow, or inline
    // markup once the flows are used up.
    std::optional<XhtmlImage> image(const std::string& path, bool svgAllowed);
    // Loads, filters and merges a linked stylesheet; the address of the merged flow.
    std::optional<std::string> stylesheet(const std::string& path);
    // A <style> element or style attribute of a document in `folder`.
    std::string style(std::string_view css, const std::string& folder, bool attribute, bool onRoot);

    std::size_t documentCount() const { return part_.documents.size(); }
    void addDocument(std::string xhtml) { part_.documents.push_back(std::move(xhtml)); }
    Kf8Part& part() { return part_; }
    const std::string& sheetWritingMode() const { return writingMode_; }

    // Resolves the numbers left open while writing, adds `extraCss` to the stylesheet, and
    // reports what was left out. The collector is spent afterwards.
    Kf8Part finish(const std::string& extraCss);

private:
    std::optional<std::string> styleUrl(std::string_view url, CssUrlKind kind, const std::string& folder);
    std::optional<std::string> font(const std::string& path);
    std::optional<XhtmlImage> embedded(std::size_t record) const;
    std::string filterSheet(const std::string& path, int depth);
    void noteFiltered(const FilteredCss& filtered);
    CssContext contextFor(const std::string& folder);
    void linkStylesheetEverywhere();

    std::vector<Image>& images_;
    ImageCollector& collector_;
    Loader load_;
    FontDecoder decodeFont_;
    Diagnostics& diagnostics_;
    Kf8Part part_;
    std::string css_;
    std::set<std::string> sheets_;
    std::map<std::string, std::size_t> svgFlows_;  // path to 1-based SVG flow
    std::vector<std::string> svgs_;
    std::map<std::string, std::size_t> fonts_;  // path to 1-based font, 0 when unusable
    std::set<std::string> droppedStyles_;
    std::string writingMode_;
};

}  // namespace mobigen
