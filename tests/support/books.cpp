#include "tests/support/books.h"

#include <zlib.h>

namespace test_support {
namespace {

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
    return out;
}

std::string rawDeflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    return out.substr(2, size - 6);  // without zlib's header and checksum
}

}  // namespace

std::string buildZip(const std::vector<ZipEntrySpec>& entries) {
    std::string archive;
    std::string directory;
    for (const auto& e : entries) {
        const std::string payload = e.deflate ? rawDeflate(e.data) : e.data;
        const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        // Method, time and date, CRC, sizes and the name's length: the same in both headers.
        const std::string common = littleEndian(e.deflate ? 8 : 0, 2) + littleEndian(0, 4) +
                                   littleEndian(static_cast<std::uint32_t>(crc), 4) +
                                   littleEndian(static_cast<std::uint32_t>(payload.size()), 4) +
                                   littleEndian(e.declaredSize.value_or(static_cast<std::uint32_t>(e.data.size())), 4) +
                                   littleEndian(static_cast<std::uint32_t>(e.name.size()), 2);
        directory += littleEndian(0x02014b50, 4) + littleEndian(20, 2) + littleEndian(20, 2) + littleEndian(0, 2) +
                     common + std::string(12, '\0') + littleEndian(static_cast<std::uint32_t>(archive.size()), 4) +
                     e.name;
        archive += littleEndian(0x04034b50, 4) + littleEndian(20, 2) + littleEndian(0, 2) + common +
                   littleEndian(0, 2) + e.name + payload;
    }
    const auto count = littleEndian(static_cast<std::uint32_t>(entries.size()), 2);
    return archive + directory + littleEndian(0x06054b50, 4) + littleEndian(0, 4) + count + count +
           littleEndian(static_cast<std::uint32_t>(directory.size()), 4) +
           littleEndian(static_cast<std::uint32_t>(archive.size()), 4) + littleEndian(0, 2);
}

std::string buildEpub(const std::string& opf, const std::vector<ZipEntrySpec>& files,
                      const std::vector<ZipEntrySpec>& rootFiles) {
    std::vector<ZipEntrySpec> entries{
        {"mimetype", "application/epub+zip", false},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\"?><container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
         "<rootfiles><rootfile full-path=\"OEBPS/a.pdf\" media-type=\"application/pdf\"/>"
         "<rootfile full-path=\"OEBPS/my%20content.opf\" media-type=\"application/oebps-package+xml\"/>"
         "</rootfiles></container>",
         true,
         {}},
        {"OEBPS/my content.opf", opf}};
    for (auto f : files) {
        f.name = "OEBPS/" + f.name;
        entries.push_back(std::move(f));
    }
    entries.insert(entries.end(), rootFiles.begin(), rootFiles.end());
    return buildZip(entries);
}

std::string makeOpf(const std::string& metadata, const std::string& manifestItems, const std::string& spineItems,
                    const std::string& spineAttributes) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" unique-identifier=\"uid\">"
           "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:opf=\"http://www.idpf.org/2007/opf\">" +
           metadata + "</metadata><manifest>" + manifestItems + "</manifest><spine" + spineAttributes + ">" +
           spineItems + "</spine></package>";
}

std::string makeXhtml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
           "<title>t</title><link rel=\"stylesheet\" href=\"s.css\"/></head><body>" +
           body + "</body></html>";
}

}  // namespace test_support
