#pragma once

// The stages of the MOBI writer, one file each; mobi_writer.cpp puts them together.

#include "mobigen/book.h"
#include "mobigen/mobi/writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

constexpr std::size_t kTextRecordSize = 4096;
constexpr std::uint16_t kExtraDataMultibyte = 0x1;

// mobi_text.cpp: the flow cut into 4096-byte records, each compressed on its own and ending
// with its multibyte trailing entry.
std::vector<std::string> buildTextRecords(std::string_view flow, Compression compression);

// mobi_index.cpp: meta INDX, data INDX record(s) and one CNCX for a flat NCX; empty without
// a TOC. Entries are kept inside the text's `textLength` bytes.
std::vector<std::string> buildNcxRecords(const std::vector<TocEntry>& toc, std::uint32_t textLength);

// Record indexes and sizes record 0 points at.
struct Record0Layout {
    Compression compression = Compression::PalmDoc;
    std::uint32_t textLength = 0;
    std::uint16_t textRecordCount = 0;
    std::uint32_t firstNonBookRecord = 0;
    std::uint32_t firstImageRecord = 0;  // kMobiNotSet without images
    std::uint16_t lastContentRecord = 0;
    std::uint32_t fcisRecord = 0;
    std::uint32_t flisRecord = 0;
    std::uint32_t ncxRecord = 0;  // kMobiNotSet without a TOC
    std::uint32_t uniqueId = 0;
    std::uint32_t startOffset = 0;             // EXTH 116 when not 0
    std::optional<std::uint32_t> coverOffset;  // EXTH 201, relative to the first image
};

// mobi_record0.cpp: PalmDOC header, MOBI header, EXTH and the full name.
std::string buildRecord0(const Metadata& metadata, const Record0Layout& layout);
std::uint32_t localeFromLanguage(std::string_view language);

// mobi_palmdb.cpp: the PalmDB container around the records.
std::string buildPalmDb(std::string_view title, const std::vector<std::string>& records, std::uint32_t unixTime);
std::string palmDbName(std::string_view title);

// mobi_trailer.cpp
std::string buildFlisRecord();
std::string buildFcisRecord(std::uint32_t textLength);
std::string buildEofRecord();

}  // namespace mobigen
