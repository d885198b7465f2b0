#pragma once

// Zip archives and EPUBs built in memory, so no binaries are committed.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct ZipEntrySpec {
    ZipEntrySpec(std::string path, std::string bytes, bool deflated = true, std::optional<std::uint32_t> claimed = {})
        : name(std::move(path)), data(std::move(bytes)), deflate(deflated), declaredSize(claimed) {}
    std::string name;
    std::string data;
    bool deflate;
    std::optional<std::uint32_t> declaredSize;  // a lying header, for bomb tests
};

std::string buildZip(const std::vector<ZipEntrySpec>& entries);

// An EPUB whose container names a PDF, then the OPF at OEBPS/my content.opf; `files` are placed
// under OEBPS/ as given.
// `rootFiles` go beside META-INF/container.xml rather than under OEBPS/.
std::string buildEpub(const std::string& opf, const std::vector<ZipEntrySpec>& files,
                      const std::vector<ZipEntrySpec>& rootFiles = {});

// A minimal OPF: `manifestItems` and `spineItems` are inserted as written.
std::string makeOpf(const std::string& metadata, const std::string& manifestItems, const std::string& spineItems,
                    const std::string& spineAttributes = "");

// An XHTML document with this body content.
std::string makeXhtml(const std::string& body);

}  // namespace test_support
