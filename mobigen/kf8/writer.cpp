#include "mobigen/kf8/writer.h"

#include "mobigen/kf8/indexes.h"
#include "mobigen/kf8/layout.h"
#include "mobigen/kf8/resources.h"
#include "mobigen/records/records.h"

#include <ctime>

namespace mobigen {
namespace {

constexpr char kBoundary[] = "BOUNDARY";
constexpr char kDefaultWritingMode[] = "horizontal-lr";

struct Kf8Text {
    std::string text;  // flow 0, then the CSS and SVG flows
    std::vector<std::uint32_t> flowEnds;
};

std::size_t flowsSize(const Kf8Part& part) {
    std::size_t total = 0;
    for (const std::string& flow : part.flows) total += flow.size();
    return total;
}

Kf8Text joinFlows(std::string flow0, const Kf8Part& part) {
    Kf8Text joined;
    std::size_t total = flow0.size();
    for (const std::string& flow : part.flows) total += flow.size();
    if (total > 0xFFFFFFF0u) throw ConversionError{"The book's text is larger than 4 GB."};
    joined.text = std::move(flow0);
    joined.text.reserve(total);
    joined.flowEnds.push_back(static_cast<std::uint32_t>(joined.text.size()));
    for (const std::string& flow : part.flows) {
        joined.text += flow;
        joined.flowEnds.push_back(static_cast<std::uint32_t>(joined.text.size()));
    }
    return joined;
}

std::vector<std::string> fontRecords(const Kf8Part& part) {
    std::vector<std::string> records;
    for (const Font& font : part.fonts) records.push_back(buildFontRecord(font.data));
    return records;
}

std::string writingModeOf(const Kf8Part& part) {
    return part.writingMode.empty() ? kDefaultWritingMode : part.writingMode;
}

// Readers take the original resolution as "WxH".
std::string fixedLayoutResolutionOf(const Kf8Part& part) {
    if (!part.fixedLayout) return {};
    return std::to_string(part.fixedLayout->width) + "x" + std::to_string(part.fixedLayout->height);
}

void addAll(RecordSink& records, const std::vector<std::string>& more) {
    for (const std::string& record : more) records.add(record);
}

// A document source is released, with what it holds, once its documents are laid out.
Kf8Layout layoutOf(Kf8Part& part) {
    if (!part.documentSource) return Kf8Layout(std::move(part.documents), flowsSize(part));
    const auto source = std::move(part.documentSource);
    part.documentSource = nullptr;
    return Kf8Layout(source, part.documentSourceSize + part.documentSourceSize / 4 + flowsSize(part));
}

struct Kf8PartPlan {
    Book& book;  // its KF8 documents are taken
    const Metadata& metadata;
    Compression compression;
    std::uint32_t uniqueId;
    const std::vector<std::string>& fonts;
    bool standalone;  // resources inside the part, no MOBI 6 part before it
};

// Every record of the KF8 part, from its record 0; record numbers in it count from there.
void writeKf8Part(const Kf8PartPlan& plan, RecordSink& records) {
    const Kf8Part& part = plan.book.kf8;
    Kf8Layout layout = layoutOf(plan.book.kf8);
    const std::vector<std::string> fragments = buildFragmentIndex(layout);
    const std::vector<std::string> skeletons = buildSkeletonIndex(layout);
    const std::vector<std::string> guide = buildGuideIndex(part, layout);
    const std::vector<std::string> ncx = buildKf8NcxIndex(part.toc, layout);
    const std::uint32_t startOffset = part.start ? layout.resolve(*part.start).assembled : 0;
    Kf8Text joined = joinFlows(layout.takeFlow0(), part);
    const std::size_t textRecords = textRecordCount(joined.text.size());

    const std::size_t resources = plan.standalone ? plan.book.images.size() + plan.fonts.size() : 0;
    const std::size_t fragmentIndex = 1 + textRecords;
    const std::size_t skeletonIndex = fragmentIndex + fragments.size();
    const std::size_t guideIndex = skeletonIndex + skeletons.size();
    const std::size_t ncxIndex = guideIndex + guide.size();
    const std::size_t firstResource = ncxIndex + ncx.size();
    const std::size_t fdst = firstResource + resources;
    checkRecordCount(fdst + 4);

    Record0Layout header;
    header.compression = plan.compression;
    header.textLength = static_cast<std::uint32_t>(joined.text.size());
    header.textRecordCount = static_cast<std::uint16_t>(textRecords);
    header.firstNonBookRecord = static_cast<std::uint32_t>(fragmentIndex);
    header.firstImageRecord = resources == 0 ? kMobiNotSet : static_cast<std::uint32_t>(firstResource);
    header.flisRecord = static_cast<std::uint32_t>(fdst + 1);
    header.fcisRecord = static_cast<std::uint32_t>(fdst + 2);
    header.ncxRecord = ncx.empty() ? kMobiNotSet : static_cast<std::uint32_t>(ncxIndex);
    header.uniqueId = plan.uniqueId;
    header.startOffset = startOffset;
    if (plan.book.coverImage && *plan.book.coverImage < plan.book.images.size())
        header.coverOffset = static_cast<std::uint32_t>(*plan.book.coverImage);
    header.kf8 = Kf8HeaderFields{static_cast<std::uint32_t>(fdst), static_cast<std::uint32_t>(joined.flowEnds.size()),
                                 static_cast<std::uint32_t>(fragmentIndex), static_cast<std::uint32_t>(skeletonIndex),
                                 guide.empty() ? kMobiNotSet : static_cast<std::uint32_t>(guideIndex)};
    header.embeddedFonts = !plan.fonts.empty();
    header.resourceCount = static_cast<std::uint32_t>(resources);
    header.writingMode = writingModeOf(part);
    header.pageProgression = part.pageProgression;
    header.fixedLayoutResolution = fixedLayoutResolutionOf(part);

    records.add(buildRecord0(plan.metadata, header));
    writeTextRecords(joined.text, plan.compression, records);
    std::string().swap(joined.text);
    addAll(records, fragments);
    addAll(records, skeletons);
    addAll(records, guide);
    addAll(records, ncx);
    if (plan.standalone) {
        for (const Image& image : plan.book.images) records.add(imageRecord(image));
        addAll(records, plan.fonts);
    }
    records.add(buildFdstRecord(joined.flowEnds));
    records.add(buildFlisRecord());
    records.add(buildFcisRecord(header.textLength, /*kf8=*/true));
    records.add(buildEofRecord());
}

void writeJointRecords(Book& book, const Metadata& metadata, Compression compression, RecordSink& records) {
    JointExtras extras;
    extras.fontRecords = fontRecords(book.kf8);
    extras.uniqueId = randomUniqueId();
    extras.writingMode = writingModeOf(book.kf8);
    extras.pageProgression = book.kf8.pageProgression;
    extras.fixedLayoutResolution = fixedLayoutResolutionOf(book.kf8);
    writeMobi6Part(book, metadata, compression, &extras, records);
    records.add(kBoundary);
    writeKf8Part({book, metadata, compression, extras.uniqueId, extras.fontRecords, /*standalone=*/false}, records);
    checkRecordCount(records.sizes().size());
}

void writeStandaloneKf8(Book& book, const Metadata& metadata, Compression compression, RecordSink& records) {
    std::string().swap(book.flow);
    const std::vector<std::string> fonts = fontRecords(book.kf8);
    writeKf8Part({book, metadata, compression, randomUniqueId(), fonts, /*standalone=*/true}, records);
}

// A joint file holds both texts in one PalmDB. The estimate leaves room for the aid
// attributes and the index records the KF8 text gains while it is written.
bool jointFileFits(const Book& book) {
    std::size_t kf8Text = 0;
    for (const std::string& document : book.kf8.documents) kf8Text += document.size();
    for (const std::string& flow : book.kf8.flows) kf8Text += flow.size();
    kf8Text += book.kf8.documentSourceSize;
    const std::size_t records = book.flow.size() / kTextRecordSize + kf8Text / kTextRecordSize * 5 / 4 +
                                book.images.size() + book.kf8.fonts.size() + book.kf8.documents.size() / 16 + 64;
    return records <= kMaxRecords;
}

}  // namespace

std::string writeBook(Book book, Compression compression, OutputKind kind, Diagnostics& diagnostics,
                      RecordSink& records) {
    if (kind == OutputKind::Kf8 && !hasKf8Part(book))
        throw ConversionError{"This book has no KF8 content, so no KF8 file can be made from it."};
    if (kind == OutputKind::Joint && hasKf8Part(book) && !jointFileFits(book)) {
        diagnostics.warn("The book is too large for a joint MOBI 6 + KF8 file; its MOBI 6 part alone was written.");
        book.kf8 = Kf8Part();
    }
    if (kind == OutputKind::Mobi6 || !hasKf8Part(book)) return writeMobi(std::move(book), compression, records);
    const Metadata metadata = repairedMetadata(book.metadata);
    if (kind == OutputKind::Joint) {
        writeJointRecords(book, metadata, compression, records);
    } else {
        writeStandaloneKf8(book, metadata, compression, records);
    }
    return palmDbHeader(metadata.title, records.sizes(), static_cast<std::uint32_t>(std::time(nullptr)));
}

std::string writeBook(Book book, Compression compression, OutputKind kind, Diagnostics& diagnostics) {
    RecordList records;
    const std::string header = writeBook(std::move(book), compression, kind, diagnostics, records);
    return palmDbFile(header, records);
}

}  // namespace mobigen
