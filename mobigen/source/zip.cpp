#include "mobigen/source/zip.h"

#include "mobigen/book.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/byte_order.h"

#include <zlib.h>

#include <algorithm>

namespace mobigen {
namespace {

constexpr std::uint32_t kEndOfCentralDirectory = 0x06054b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kMaxCommentSize = 0xFFFF;

[[noreturn]] void damaged(const std::string& detail) {
    throw ConversionError{"The EPUB file is damaged or is not a zip archive: " + detail + "."};
}

std::string megabytes(std::uint64_t bytes) {
    return bytes < (1u << 20) ? std::to_string(bytes) + " bytes" : std::to_string(bytes >> 20) + " MB";
}

}  // namespace

bool isSafeEntryName(std::string_view name) {
    if (name.empty()) return false;
    if (name[0] == '/' || name[0] == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return name.find('\0') == std::string_view::npos;
}

ZipArchive::ZipArchive(std::string_view bytes, ZipLimits limits) : bytes_(bytes), limits_(limits) {
    readCentralDirectory();
}

void ZipArchive::readCentralDirectory() {
    if (bytes_.size() < kEndRecordSize) damaged("it is too short");
    const std::size_t lowest =
        bytes_.size() > kEndRecordSize + kMaxCommentSize ? bytes_.size() - kEndRecordSize - kMaxCommentSize : 0;
    std::size_t end = bytes_.size() - kEndRecordSize;
    while (readLittle32(bytes_, end) != kEndOfCentralDirectory) {
        if (end == lowest) damaged("the end of its directory is missing");
        --end;
    }
    const std::uint16_t count = readLittle16(bytes_, end + 10);
    const std::uint32_t directorySize = readLittle32(bytes_, end + 12);
    const std::uint32_t directoryOffset = readLittle32(bytes_, end + 16);
    if (directoryOffset == 0xFFFFFFFF || count == 0xFFFF) damaged("it uses the ZIP64 extension");
    if (static_cast<std::uint64_t>(directoryOffset) + directorySize > end)
        damaged("its directory lies outside the file");

    std::size_t at = directoryOffset;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (at + kCentralHeaderSize > end || readLittle32(bytes_, at) != kCentralHeader)
            damaged("its directory is cut short");
        Entry entry;
        entry.flags = readLittle16(bytes_, at + 8);
        entry.method = readLittle16(bytes_, at + 10);
        entry.crc = readLittle32(bytes_, at + 16);
        entry.compressedSize = readLittle32(bytes_, at + 20);
        entry.uncompressedSize = readLittle32(bytes_, at + 24);
        const std::size_t nameLength = readLittle16(bytes_, at + 28);
        const std::size_t extraLength = readLittle16(bytes_, at + 30);
        const std::size_t commentLength = readLittle16(bytes_, at + 32);
        entry.localHeaderOffset = readLittle32(bytes_, at + 42);
        const std::size_t next = at + kCentralHeaderSize + nameLength + extraLength + commentLength;
        if (next > end) damaged("its directory is cut short");
        std::string name(bytes_.substr(at + kCentralHeaderSize, nameLength));
        at = next;
        if (!isSafeEntryName(name)) {
            throw ConversionError{"The EPUB file was refused: it holds a file named \"" + name +
                                  "\", which points outside the book."};
        }
        if (name.back() == '/') continue;  // a folder
        std::replace(name.begin(), name.end(), '\\', '/');
        if (entries_.emplace(name, entry).second) {
            lowerCaseNames_.emplace(lowerAscii(name), name);
            names_.push_back(name);
        }
    }
}

std::string ZipArchive::find(const std::string& name) const {
    if (entries_.count(name) != 0) return name;
    const auto it = lowerCaseNames_.find(lowerAscii(name));
    return it == lowerCaseNames_.end() ? std::string() : it->second;
}

std::string_view ZipArchive::entryData(const std::string& name, const Entry& entry) const {
    const std::size_t at = entry.localHeaderOffset;
    if (at + kLocalHeaderSize > bytes_.size() || readLittle32(bytes_, at) != kLocalHeader) {
        damaged("the entry " + name + " cannot be found");
    }
    const std::size_t dataStart = at + kLocalHeaderSize + readLittle16(bytes_, at + 26) + readLittle16(bytes_, at + 28);
    if (dataStart > bytes_.size() || bytes_.size() - dataStart < entry.compressedSize) {
        damaged("the entry " + name + " is cut short");
    }
    return bytes_.substr(dataStart, entry.compressedSize);
}

std::string ZipArchive::read(const std::string& requested) {
    const std::string name = find(requested);
    if (name.empty()) throw ConversionError{"The EPUB file has no file named " + requested + "."};
    const Entry& entry = entries_.at(name);
    if (entry.flags & 1u) throw ConversionError{"The EPUB file is encrypted (" + name + "), which is not supported."};
    const std::uint64_t budget = limits_.maxTotalBytes - std::min(bytesRead_, limits_.maxTotalBytes);
    const std::uint64_t limit = std::min(limits_.maxEntryBytes, budget);
    const std::string_view data = entryData(name, entry);
    std::string out;
    if (entry.method == 0) {
        if (data.size() > limit) {
            throw ConversionError{"The EPUB file was refused: " + name + " is larger than " + megabytes(limit) + "."};
        }
        out.assign(data);
    } else if (entry.method == 8) {
        out = inflateEntry(name, data, limit, entry.uncompressedSize);
    } else {
        throw ConversionError{"The EPUB file uses a compression method (" + std::to_string(entry.method) +
                              ") that is not supported, in " + name + "."};
    }
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size()));
    if (crc != entry.crc) damaged("the checksum of " + name + " does not match");
    bytesRead_ += out.size();
    return out;
}

std::string ZipArchive::inflateEntry(const std::string& name, std::string_view data, std::uint64_t limit,
                                     std::uint64_t sizeHint) const {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw ConversionError{"Out of memory while reading " + name + "."};
    struct Ender {
        z_stream* s;
        ~Ender() { inflateEnd(s); }
    } ender{&stream};

    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    // Inflated straight into the string, sized by the directory's word: copying through a
    // buffer and regrowing cost as much as inflating. The word is only a hint; it may lie.
    // Deflate cannot expand more than about 1032 to 1, which bounds a lying hint.
    const std::uint64_t mostPossible = 1032 * static_cast<std::uint64_t>(data.size()) + 1024;
    std::string out(static_cast<std::size_t>(std::min<std::uint64_t>({sizeHint, limit, mostPossible, 64u << 20})) + 1,
                    '\0');
    std::size_t produced = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (produced == out.size())
            out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit + 1, 2 * out.size())));
        const std::size_t room = std::min<std::size_t>(out.size() - produced, 1u << 30);
        stream.next_out = reinterpret_cast<Bytef*>(&out[produced]);
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            damaged(name + " cannot be decompressed");
        const std::size_t made = room - stream.avail_out;
        produced += made;
        if (produced > limit) {
            throw ConversionError{"The EPUB file was refused: " + name + " expands to more than " + megabytes(limit) +
                                  " (a zip bomb?)."};
        }
        if (status == Z_BUF_ERROR || (made == 0 && stream.avail_in == 0 && status != Z_STREAM_END)) {
            damaged(name + " is cut short");
        }
    }
    out.resize(produced);
    if (out.capacity() > 2 * produced + 4096) out.shrink_to_fit();  // a directory that overstated
    return out;
}

}  // namespace mobigen
