#pragma once

// The records both parts are made of, one file each; mobi6/ and kf8/ put them together.

#include "mobigen/book.h"
#include "mobigen/records/record_buffer.h"
#include "mobigen/records/record_sink.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

constexpr std::size_t kTextRecordSize = 4096;
constexpr std::uint16_t kExtraDataMultibyte = 0x1;

// text_records.cpp: the flow cut into 4096-byte records, each compressed on its own and ending
// with its multibyte trailing entry.
std::size_t textRecordCount(std::size_t flowSize);
void writeTextRecords(std::string_view flow, Compression compression, RecordSink& records);

// What record 0 of a KF8 part holds beyond MOBI 6's: record numbers count from that record 0.
struct Kf8HeaderFields {
    std::uint32_t fdstRecord = 0;
    std::uint32_t flowCount = 0;
    std::uint32_t fragmentIndex = 0;
    std::uint32_t skeletonIndex = 0;
    std::uint32_t guideIndex = kMobiNotSet;
};

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
    std::optional<Kf8HeaderFields> kf8;        // version 8, with its 264-byte header
    bool embeddedFonts = false;
    // What a joint file adds to its records 0.
    std::optional<std::uint32_t> kf8RecordZero;  // EXTH 121, in the MOBI 6 part only
    std::optional<std::uint32_t> resourceCount;  // EXTH 125 and 131
    std::string writingMode;                     // EXTH 525 when not empty
    std::string pageProgression;                 // EXTH 527 when not empty
    std::string fixedLayoutResolution;           // "WxH": EXTH 122 and 126 when not empty
};

// record0.cpp: PalmDOC header, MOBI header, EXTH and the full name.
std::string buildRecord0(const Metadata& metadata, const Record0Layout& layout);
std::uint32_t localeFromLanguage(std::string_view language);

// palmdb.cpp: the PalmDB header that lists the records, and the file in memory.
std::string palmDbHeader(std::string_view title, const std::vector<std::uint32_t>& recordSizes, std::uint32_t unixTime);
std::string palmDbFile(const std::string& header, const RecordList& records);
std::string palmDbName(std::string_view title);

// trailer.cpp
std::string buildFlisRecord();
// The KF8 form has two more fields.
std::string buildFcisRecord(std::uint32_t textLength, bool kf8 = false);
std::string buildEofRecord();

// writer.cpp: record 0 declares UTF-8, so every string it carries must really be UTF-8.
Metadata repairedMetadata(const Metadata& in);
std::uint32_t randomUniqueId();
constexpr std::size_t kMaxRecords = 0xFFFF;
void checkRecordCount(std::size_t count);

// The record that holds an image: a blank GIF stands in for an empty one.
std::string_view imageRecord(const Image& image);

}  // namespace mobigen
