#pragma once

// Builds zip archives and EPUBs in memory for the reader tests, so no binaries are committed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace readers_test {

struct ZipEntrySpec {
    std::string name;
    std::string data;
    bool deflate = true;
    std::optional<std::uint32_t> declaredSize;  // a lying header, for bomb tests
};

std::string buildZip(const std::vector<ZipEntrySpec>& entries);

// An EPUB whose OPF is at OEBPS/content.opf; `files` are placed under OEBPS/ as given.
std::string buildEpub(const std::string& opf, const std::vector<ZipEntrySpec>& files);

// A minimal OPF: `manifestItems` and `spineItems` are inserted as written.
std::string makeOpf(const std::string& metadata, const std::string& manifestItems, const std::string& spineItems,
                    const std::string& spineAttributes = "");

// An XHTML document with this body content.
std::string makeXhtml(const std::string& body);

}  // namespace readers_test
