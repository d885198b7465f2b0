#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct EpubTocEntry {
    std::string title;
    std::string path;      // resolved inside the archive
    std::string fragment;  // may be empty
    int depth = 0;
};

// The navMap of an NCX file, nested navPoints giving the depth. Throws ConversionError when
// the XML is malformed.
std::vector<EpubTocEntry> readNcxToc(std::string_view xml, const std::string& ncxPath);

// The <nav epub:type="toc"> of an EPUB 3 navigation document (nested ol/li/a). Throws
// ConversionError when the XML is malformed.
std::vector<EpubTocEntry> readNavToc(std::string_view xml, const std::string& navPath);

}  // namespace mobigen
