#pragma once

// Packs fuzz input into a valid zip (stored entries, right checksums), so that mutations of
// an EPUB's files reach the EPUB reader instead of failing the zip's checksum.
// The input is a list of files, each "name\n" then the content, separated by kFileSeparator.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

inline constexpr std::string_view kFileSeparator = "\x01--\x01";

class StoredZip {
public:
    void add(std::string_view name, std::string_view content) {
        const auto crc = static_cast<std::uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
        const auto offset = static_cast<std::uint32_t>(body_.size());
        body_ += "PK\x03\x04";
        commonFields(body_, name, content, crc);
        body_.append(name).append(content);
        directory_ += "PK\x01\x02";
        u16(directory_, 20);  // made by
        commonFields(directory_, name, content, crc);
        u16(directory_, 0);  // comment length
        u32(directory_, 0);  // disk number, internal attributes
        u32(directory_, 0);  // external attributes
        u32(directory_, offset);
        directory_.append(name);
        ++count_;
    }

    std::string finish() const {
        std::string zip = body_ + directory_;
        zip += "PK\x05\x06";
        u32(zip, 0);  // disk numbers
        u16(zip, count_);
        u16(zip, count_);
        u32(zip, static_cast<std::uint32_t>(directory_.size()));
        u32(zip, static_cast<std::uint32_t>(body_.size()));
        u16(zip, 0);
        return zip;
    }

private:
    static void u16(std::string& out, std::uint32_t value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>(value >> 8 & 0xFF);
    }
    static void u32(std::string& out, std::uint32_t value) {
        u16(out, value & 0xFFFF);
        u16(out, value >> 16);
    }
    // From "version needed" to "extra length": the same in both headers.
    static void commonFields(std::string& out, std::string_view name, std::string_view content, std::uint32_t crc) {
        u16(out, 20);
        u16(out, 0);  // flags
        u16(out, 0);  // stored
        u32(out, 0);  // time and date
        u32(out, crc);
        u32(out, static_cast<std::uint32_t>(content.size()));
        u32(out, static_cast<std::uint32_t>(content.size()));
        u16(out, static_cast<std::uint32_t>(name.size()));
        u16(out, 0);
    }

    std::string body_;
    std::string directory_;
    std::uint32_t count_ = 0;
};

inline std::string zipOfFileList(std::string_view list) {
    StoredZip zip;
    std::size_t files = 0;
    for (std::size_t start = 0; start < list.size() && files < 0xFFFF; ++files) {
        std::size_t end = list.find(kFileSeparator, start);
        if (end == std::string_view::npos) end = list.size();
        const std::string_view file = list.substr(start, end - start);
        const std::size_t newline = file.find('\n');
        const std::string_view name = file.substr(0, std::min(newline, std::size_t{0xFFFF}));
        zip.add(name, newline == std::string_view::npos ? std::string_view() : file.substr(newline + 1));
        start = end + kFileSeparator.size();
    }
    return zip.finish();
}

}  // namespace fuzz
