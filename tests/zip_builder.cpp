#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace readers_test {
namespace {

void put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::string rawDeflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

std::string buildZip(const std::vector<ZipEntrySpec>& entries) {
    std::string archive;
    std::string directory;
    for (const auto& e : entries) {
        const std::string payload = e.deflate ? rawDeflate(e.data) : e.data;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const std::uint32_t size = e.declaredSize.value_or(static_cast<std::uint32_t>(e.data.size()));
        const auto offset = static_cast<std::uint32_t>(archive.size());
        const auto nameLength = static_cast<std::uint32_t>(e.name.size());
        const std::uint32_t method = e.deflate ? 8 : 0;

        put32(archive, 0x04034b50);
        put16(archive, 20);
        put16(archive, 0);
        put16(archive, method);
        put32(archive, 0);  // time and date
        put32(archive, crc);
        put32(archive, static_cast<std::uint32_t>(payload.size()));
        put32(archive, size);
        put16(archive, nameLength);
        put16(archive, 0);
        archive += e.name;
        archive += payload;

        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, static_cast<std::uint32_t>(payload.size()));
        put32(directory, size);
        put16(directory, nameLength);
        put32(directory, 0);  // extra and comment lengths
        put32(directory, 0);  // disk and internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, offset);
        directory += e.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    put32(archive, 0x06054b50);
    put32(archive, 0);
    put16(archive, static_cast<std::uint32_t>(entries.size()));
    put16(archive, static_cast<std::uint32_t>(entries.size()));
    put32(archive, static_cast<std::uint32_t>(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0);
    return archive;
}

std::string buildEpub(const std::string& opf, const std::vector<ZipEntrySpec>& files) {
    std::vector<ZipEntrySpec> entries{
        {"mimetype", "application/epub+zip", false, {}},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\"?><container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
         "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
         "</rootfiles></container>",
         true, {}},
        {"OEBPS/content.opf", opf, true, {}}};
    for (auto f : files) {
        f.name = "OEBPS/" + f.name;
        entries.push_back(std::move(f));
    }
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

}  // namespace readers_test
