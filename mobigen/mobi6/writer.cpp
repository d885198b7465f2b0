#include "mobigen/mobi6/writer.h"

#include "mobigen/records/record_buffer.h"
#include "mobigen/records/records.h"
#include "platform/utf8.h"

#include <chrono>
#include <ctime>
#include <random>

namespace mobigen {
namespace {

// A record cannot be empty (offsets must increase), so an empty image becomes a blank 1x1 GIF.
constexpr char kBlankGif[] =
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x21\xF9\x04\x01\x00\x00\x00\x00"
    "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B";

std::string repaired(std::string_view text) {
    std::string out;
    platform::appendRepairedUtf8(text, out);
    return out;
}

}  // namespace

Metadata repairedMetadata(const Metadata& in) {
    Metadata out;
    const auto list = [](const std::vector<std::string>& values) {
        std::vector<std::string> result;
        for (const std::string& value : values) result.push_back(repaired(value));
        return result;
    };
    out.title = in.title.empty() ? std::string("Untitled") : repaired(in.title);
    out.authors = list(in.authors);
    out.language = repaired(in.language);
    out.publisher = repaired(in.publisher);
    out.date = repaired(in.date);
    out.description = repaired(in.description);
    out.subjects = list(in.subjects);
    out.identifier = repaired(in.identifier);
    out.isbn = repaired(in.isbn);
    out.rights = repaired(in.rights);
    out.contributors = list(in.contributors);
    return out;
}

std::uint32_t randomUniqueId() {
    std::uint32_t seed =
        static_cast<std::uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        seed ^= device();
    } catch (...) {
        // The clock alone is random enough for an id readers only compare.
    }
    return static_cast<std::uint32_t>(std::mt19937(seed)());
}

void checkRecordCount(std::size_t count) {
    if (count > kMaxRecords)
        throw ConversionError{"The book is too large for a MOBI file (" + std::to_string(count) +
                              " records; at most 65535)."};
}

std::string_view imageRecord(const Image& image) {
    return image.data.empty() ? std::string_view(kBlankGif, sizeof kBlankGif - 1) : std::string_view(image.data);
}

void writeMobi6Part(Book& book, const Metadata& metadata, Compression compression, const JointExtras* joint,
                    RecordSink& records) {
    if (book.flow.size() > 0xFFFFFFFFu) throw ConversionError{"The book's text is larger than 4 GB."};
    const auto textLength = static_cast<std::uint32_t>(book.flow.size());
    const std::size_t textRecords = textRecordCount(book.flow.size());
    const std::vector<std::string> index = buildNcxRecords(book.toc, textLength);

    const std::size_t fonts = joint ? joint->fontRecords.size() : 0;
    const std::size_t resources = book.images.size() + fonts;
    const std::size_t firstIndex = 1 + textRecords;
    const std::size_t firstImage = firstIndex + index.size();
    const std::size_t flis = firstImage + resources;
    const std::size_t recordCount = flis + (joint ? 2 : 3);
    checkRecordCount(recordCount);

    Record0Layout layout;
    layout.compression = compression;
    layout.textLength = textLength;
    layout.textRecordCount = static_cast<std::uint16_t>(textRecords);
    layout.firstNonBookRecord = static_cast<std::uint32_t>(firstIndex);
    layout.firstImageRecord = resources == 0 ? kMobiNotSet : static_cast<std::uint32_t>(firstImage);
    layout.lastContentRecord = static_cast<std::uint16_t>(flis - 1);
    layout.fcisRecord = static_cast<std::uint32_t>(flis + 1);
    layout.flisRecord = static_cast<std::uint32_t>(flis);
    layout.ncxRecord = index.empty() ? kMobiNotSet : static_cast<std::uint32_t>(firstIndex);
    layout.uniqueId = joint ? joint->uniqueId : randomUniqueId();
    layout.startOffset = book.startOffset;
    if (book.coverImage && *book.coverImage < book.images.size())
        layout.coverOffset = static_cast<std::uint32_t>(*book.coverImage);
    if (joint) {
        layout.kf8RecordZero = static_cast<std::uint32_t>(recordCount + 1);  // past the BOUNDARY
        layout.resourceCount = static_cast<std::uint32_t>(resources);
        layout.writingMode = joint->writingMode;
        layout.pageProgression = joint->pageProgression;
        layout.fixedLayoutResolution = joint->fixedLayoutResolution;
    }

    records.add(buildRecord0(metadata, layout));
    writeTextRecords(book.flow, compression, records);
    std::string().swap(book.flow);
    for (const std::string& record : index) records.add(record);
    for (const Image& image : book.images) records.add(imageRecord(image));
    if (joint)
        for (const std::string& font : joint->fontRecords) records.add(font);
    records.add(buildFlisRecord());
    records.add(buildFcisRecord(layout.textLength));
    if (!joint) records.add(buildEofRecord());  // readers stop their resource scan at an EOF
}

std::string writeMobi(Book book, Compression compression, RecordSink& records) {
    const Metadata metadata = repairedMetadata(book.metadata);
    writeMobi6Part(book, metadata, compression, nullptr, records);
    return palmDbHeader(metadata.title, records.sizes(), static_cast<std::uint32_t>(std::time(nullptr)));
}

}  // namespace mobigen
