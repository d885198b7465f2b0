#include "mobigen/records/record_buffer.h"
#include "mobigen/records/records.h"

#include <cctype>
#include <utility>

namespace mobigen {
namespace {

constexpr std::uint32_t kMobiHeaderLength = 232;
// Both readers fail on a KF8 header of 232 bytes.
constexpr std::uint32_t kKf8HeaderLength = 264;
constexpr std::uint32_t kExthPresent = 0x50;
constexpr std::uint32_t kExthFonts = 0x1000;
constexpr std::uint32_t kUtf8CodePage = 65001;

enum ExthType : std::uint32_t {
    kAuthor = 100,
    kPublisher = 101,
    kDescription = 103,
    kIsbn = 104,
    kSubject = 105,
    kDate = 106,
    kContributor = 108,
    kRights = 109,
    kAsin = 113,
    kStartReading = 116,
    kKf8Boundary = 121,
    kFixedLayout = 122,
    kResourceCount = 125,
    kOriginalResolution = 126,
    kResourceOffset = 131,
    kCoverOffset = 201,
    kHasFakeCover = 203,
    kDocumentType = 501,
    kUpdatedTitle = 503,
    kLanguage = 524,
    kWritingMode = 525,
    kPageProgression = 527,
};

class ExthBuilder {
public:
    void text(std::uint32_t type, std::string_view value) {
        if (value.empty()) return;
        records_.u32(type);
        records_.u32(static_cast<std::uint32_t>(8 + value.size()));
        records_.bytes(value);
        ++count_;
    }
    void texts(std::uint32_t type, const std::vector<std::string>& values) {
        for (const std::string& value : values) text(type, value);
    }
    void number(std::uint32_t type, std::uint32_t value) {
        records_.u32(type);
        records_.u32(12);
        records_.u32(value);
        ++count_;
    }
    std::string finish() {
        MobiBuffer b;
        b.bytes("EXTH");
        b.u32(static_cast<std::uint32_t>(12 + records_.size()));
        b.u32(count_);
        b.bytes(records_.view());
        b.padTo(4);
        return b.take();
    }

private:
    MobiBuffer records_;
    std::uint32_t count_ = 0;
};

// An ASIN is ten capitals and digits; any other identifier would confuse a device's sync.
bool looksLikeAsin(std::string_view id) {
    if (id.size() != 10) return false;
    for (char c : id)
        if (!std::isdigit(static_cast<unsigned char>(c)) && !std::isupper(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string primaryLanguage(std::string_view language) {
    std::string primary;
    for (char c : language) {
        if (c == '-' || c == '_') break;
        primary.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return primary;
}

std::string regionOf(std::string_view language) {
    const std::size_t dash = language.find_first_of("-_");
    std::string region;
    if (dash == std::string_view::npos) return region;
    for (char c : language.substr(dash + 1)) {
        if (c == '-' || c == '_') break;
        region.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return region;
}

std::string buildExth(const Metadata& m, const Record0Layout& layout) {
    ExthBuilder exth;
    exth.texts(kAuthor, m.authors);
    exth.text(kPublisher, m.publisher);
    exth.text(kDescription, m.description);
    exth.text(kIsbn, m.isbn);
    exth.texts(kSubject, m.subjects);
    exth.text(kDate, m.date);
    exth.texts(kContributor, m.contributors);
    exth.text(kRights, m.rights);
    if (looksLikeAsin(m.identifier)) exth.text(kAsin, m.identifier);
    if (layout.startOffset != 0) exth.number(kStartReading, layout.startOffset);
    if (layout.coverOffset) {
        exth.number(kCoverOffset, *layout.coverOffset);
        exth.number(kHasFakeCover, 0);
    }
    exth.text(kDocumentType, "EBOK");
    exth.text(kUpdatedTitle, m.title);
    exth.text(kLanguage, m.language);
    if (layout.kf8RecordZero) exth.number(kKf8Boundary, *layout.kf8RecordZero);
    if (layout.resourceCount) {
        exth.number(kResourceCount, *layout.resourceCount);
        exth.number(kResourceOffset, 0);
    }
    exth.text(kWritingMode, layout.writingMode);
    exth.text(kPageProgression, layout.pageProgression);
    if (!layout.fixedLayoutResolution.empty()) {
        exth.text(kFixedLayout, "true");
        exth.text(kOriginalResolution, layout.fixedLayoutResolution);
    }
    return exth.finish();
}

void writePalmDocHeader(MobiBuffer& b, const Record0Layout& layout) {
    b.u16(layout.compression == Compression::PalmDoc ? 2 : 1);  // 0: compression
    b.u16(0);                                                   // 2
    b.u32(layout.textLength);                                   // 4: uncompressed text length
    b.u16(layout.textRecordCount);                              // 8: text records
    b.u16(static_cast<std::uint16_t>(kTextRecordSize));         // 10: record size
    b.u16(0);                                                   // 12: encryption
    b.u16(0);                                                   // 14
}

std::uint32_t headerLength(const Record0Layout& layout) { return layout.kf8 ? kKf8HeaderLength : kMobiHeaderLength; }

// From 192 on, the two versions differ: KF8 has an FDST where MOBI 6 has content records.
void writeContentRecords(MobiBuffer& b, const Record0Layout& layout) {
    if (layout.kf8) {
        b.u32(layout.kf8->fdstRecord);  // 192
        b.u32(layout.kf8->flowCount);   // 196
        return;
    }
    b.u16(1);                         // 192: first content record
    b.u16(layout.lastContentRecord);  // 194: last content record
    b.u32(1);                         // 196: read as an FDST count by some readers
}

void writeKf8Indexes(MobiBuffer& b, const Kf8HeaderFields& kf8) {
    b.u32(kf8.fragmentIndex);  // 248
    b.u32(kf8.skeletonIndex);  // 252
    b.u32(kMobiNotSet);        // 256: DATP
    b.u32(kf8.guideIndex);     // 260
    b.u32(kMobiNotSet);        // 264
    b.u32(0);                  // 268
    b.u32(kMobiNotSet);        // 272
    b.u32(0);                  // 276
}

void writeMobiHeader(MobiBuffer& b, const Record0Layout& layout, std::uint32_t fullNameOffset,
                     std::uint32_t fullNameLength, std::uint32_t locale) {
    const std::uint32_t version = layout.kf8 ? 8 : 6;
    b.bytes("MOBI");                                                // 16
    b.u32(headerLength(layout));                                    // 20: header length
    b.u32(2);                                                       // 24: type, book
    b.u32(kUtf8CodePage);                                           // 28: text encoding
    b.u32(layout.uniqueId);                                         // 32
    b.u32(version);                                                 // 36: file version
    for (int i = 0; i < 10; ++i) b.u32(kMobiNotSet);                // 40-79: dictionary indexes
    b.u32(layout.firstNonBookRecord);                               // 80
    b.u32(fullNameOffset);                                          // 84
    b.u32(fullNameLength);                                          // 88
    b.u32(locale);                                                  // 92
    b.u32(0);                                                       // 96: dictionary input language
    b.u32(0);                                                       // 100: dictionary output language
    b.u32(version);                                                 // 104: min version; calibre reads KF8 by it
    b.u32(layout.firstImageRecord);                                 // 108
    b.u32(0);                                                       // 112: first HUFF record
    b.u32(0);                                                       // 116: HUFF count
    b.u32(0);                                                       // 120
    b.u32(0);                                                       // 124
    b.u32(kExthPresent | (layout.embeddedFonts ? kExthFonts : 0));  // 128: EXTH flags
    b.zeros(32);                                                    // 132-163
    b.u32(kMobiNotSet);                                             // 164
    b.u32(kMobiNotSet);                                             // 168: DRM offset
    b.u32(0);                                                       // 172: DRM count
    b.u32(0);                                                       // 176: DRM size
    b.u32(0);                                                       // 180: DRM flags
    b.zeros(8);                                                     // 184-191
    writeContentRecords(b, layout);                                 // 192-199
    b.u32(layout.fcisRecord);                                       // 200
    b.u32(1);                                                       // 204
    b.u32(layout.flisRecord);                                       // 208
    b.u32(1);                                                       // 212
    b.zeros(8);                                                     // 216-223
    b.u32(kMobiNotSet);                                             // 224: SRCS record
    b.u32(0);                                                       // 228: SRCS count
    b.u32(kMobiNotSet);                                             // 232
    b.u32(kMobiNotSet);                                             // 236
    b.u16(0);                                                       // 240
    b.u16(kExtraDataMultibyte);                                     // 242: extra record data flags
    b.u32(layout.ncxRecord);                                        // 244: NCX index
    if (layout.kf8) writeKf8Indexes(b, *layout.kf8);                // 248-279
}

}  // namespace

std::uint32_t localeFromLanguage(std::string_view language) {
    static const std::pair<const char*, std::uint32_t> languages[] = {
        {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"el", 0x08},
        {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10},
        {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"no", 0x14}, {"nb", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
        {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"uk", 0x22}, {"vi", 0x2A},
    };
    // Sublanguage numbers as the LCID tables give them, for the regions that differ in print.
    static const std::pair<const char*, std::uint32_t> regions[] = {
        {"zh-TW", 1}, {"zh-CN", 2}, {"zh-HK", 3}, {"zh-SG", 4}, {"zh-MO", 5}, {"en-US", 1}, {"en-GB", 2}, {"en-AU", 3},
        {"en-CA", 4}, {"en-NZ", 5}, {"en-IE", 6}, {"de-DE", 1}, {"de-CH", 2}, {"de-AT", 3}, {"fr-FR", 1}, {"fr-BE", 2},
        {"fr-CA", 3}, {"fr-CH", 4}, {"es-ES", 1}, {"es-MX", 2}, {"pt-BR", 1}, {"pt-PT", 2},
    };
    const std::string primary = primaryLanguage(language);
    std::uint32_t code = 0;
    for (const auto& [name, value] : languages)
        if (primary == name) code = value;
    if (code == 0) return 0;
    const std::string tag = primary + "-" + regionOf(language);
    for (const auto& [name, sub] : regions)
        if (tag == name) return code | (sub << 10);
    return code;
}

std::string buildRecord0(const Metadata& metadata, const Record0Layout& layout) {
    const std::string exth = buildExth(metadata, layout);
    const std::string& title = metadata.title;
    const auto fullNameOffset = static_cast<std::uint32_t>(16 + headerLength(layout) + exth.size());

    MobiBuffer b;
    writePalmDocHeader(b, layout);
    writeMobiHeader(b, layout, fullNameOffset, static_cast<std::uint32_t>(title.size()),
                    localeFromLanguage(metadata.language));
    b.bytes(exth);
    b.bytes(title);
    b.zeros(2);  // a name that ends the record exactly is ignored by some readers
    b.padTo(4);
    return b.take();
}

}  // namespace mobigen
