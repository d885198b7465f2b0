#pragma once

#include "mobigen/book.h"
#include "mobigen/images/images.h"
#include "mobigen/source/epub_toc.h"
#include "mobigen/source/opf.h"
#include "mobigen/source/zip.h"

#include <functional>
#include <string>
#include <vector>

namespace mobigen {

// A spine document's text in UTF-8.
using DocumentReader = std::function<std::string(const std::string& path)>;

// The KF8 part of an EPUB: each spine document as XHTML with its styles, image and SVG spine
// items as pages, embedded fonts, the nested contents, the guide and the writing mode.
// Images go through `collector`, so both parts share them.
Kf8Part readEpubKf8(const Package& package, ZipArchive& zip, ImageCollector& collector, std::vector<Image>& images,
                    const std::vector<EpubTocEntry>& toc, const DocumentReader& readDocument, Diagnostics& diagnostics);

}  // namespace mobigen
