#pragma once

#include "mobigen/book.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct ManifestItem {
    std::string id;
    std::string path;  // resolved against the OPF's folder, decoded
    std::string mediaType;
    std::string properties;  // space-separated (EPUB 3)
};

struct SpineItem {
    std::string idref;
    bool linear = true;
    std::string properties;  // space-separated, such as rendition:layout-pre-paginated
};

struct Package {
    Metadata metadata;
    std::map<std::string, ManifestItem> manifest;  // by id
    std::vector<SpineItem> spine;                  // in reading order, linear="no" last
    std::string ncxId;                             // spine@toc
    std::string coverImageId;                      // empty when none
    std::string navPath;                           // EPUB 3 nav document, or empty
    std::string startPath;                         // document of the guide's "text" reference, or empty
    std::string contentsPath;                      // document of the guide's "toc" reference, or empty
    std::string primaryWritingMode;                // <meta name="primary-writing-mode">, or empty
    std::string pageProgression;                   // spine@page-progression-direction, or empty
    std::string renditionLayout;  // "pre-paginated" (EPUB 3 rendition:layout, EPUB 2 fixed-layout), or as given
    std::string pageSize;         // <meta name="original-resolution">, else rendition:viewport, as written

    const ManifestItem* item(const std::string& id) const;
    const ManifestItem* itemByPath(const std::string& path) const;
};

// The OPF's path from META-INF/container.xml. Throws ConversionError when there is none.
std::string packagePathFromContainer(std::string_view containerXml);

// Reads the package document at `opfPath`. Throws ConversionError on malformed XML or a
// package without a spine; recoverable oddities go to `diagnostics`.
Package parsePackage(std::string_view opfXml, const std::string& opfPath, Diagnostics& diagnostics);

// The ISBN when `identifier` is one ("urn:isbn:…", or 10/13 digits with a valid check
// digit); otherwise empty. Hyphens and spaces are removed.
std::string isbnFromIdentifier(std::string_view identifier, bool declaredIsbn);

// Whether the space-separated `list` (manifest or spine properties) holds `token`.
bool hasToken(std::string_view list, std::string_view token);

}  // namespace mobigen
