#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

struct ZipLimits {
    std::uint64_t maxEntryBytes = 256ull << 20;  // one file, uncompressed
    std::uint64_t maxTotalBytes = 1ull << 30;    // everything read from the archive
};

// A zip archive held in memory (the caller keeps the bytes alive). Opening reads the central
// directory and refuses names that would escape the archive's folder; reading inflates one
// entry with its size checked while inflating, so headers that lie cannot blow up memory.
// Every failure throws ConversionError.
class ZipArchive {
public:
    explicit ZipArchive(std::string_view bytes, ZipLimits limits = {});

    // The stored name, matched exactly, else ignoring ASCII case; empty when absent.
    std::string find(const std::string& name) const;
    bool contains(const std::string& name) const { return !find(name).empty(); }
    std::string read(const std::string& name);
    const std::vector<std::string>& names() const { return names_; }

private:
    struct Entry {
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint32_t crc = 0;
        std::uint32_t compressedSize = 0;
        std::uint32_t uncompressedSize = 0;
        std::uint32_t localHeaderOffset = 0;
    };

    void readCentralDirectory();
    std::string_view entryData(const std::string& name, const Entry& entry) const;
    std::string inflateEntry(const std::string& name, std::string_view data, std::uint64_t limit,
                             std::uint64_t sizeHint) const;

    std::string_view bytes_;
    ZipLimits limits_;
    std::uint64_t bytesRead_ = 0;
    std::map<std::string, Entry> entries_;
    std::map<std::string, std::string> lowerCaseNames_;
    std::vector<std::string> names_;
};

// True when a name in the archive stays inside it: no absolute path, drive letter or ".."
// segment (backslashes count as separators).
bool isSafeEntryName(std::string_view name);

}  // namespace mobigen
