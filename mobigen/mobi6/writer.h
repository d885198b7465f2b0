#pragma once

#include "mobigen/book.h"
#include "mobigen/records/record_sink.h"
#include "mobigen/records/records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// Writes the records of the .mobi file (MOBI 6, UTF-8 text) for the book and returns the
// PalmDB header that goes in front of them.
std::string writeMobi(Book book, Compression compression, RecordSink& records);

// ncx_index.cpp: meta INDX, data INDX record(s) and one CNCX for a flat NCX; empty without
// a TOC. Entries are kept inside the text's `textLength` bytes.
std::vector<std::string> buildNcxRecords(const std::vector<TocEntry>& toc, std::uint32_t textLength);

// What a joint file puts into its MOBI 6 part: the fonts after the images, and the EXTH
// that leads to the KF8 part.
struct JointExtras {
    std::vector<std::string> fontRecords;
    std::uint32_t uniqueId = 0;
    std::string writingMode;
    std::string pageProgression;
    std::string fixedLayoutResolution;
};

// The records of the MOBI 6 part; with `joint`, the part ends with FLIS and FCIS (no EOF),
// and its EXTH 121 points one record past the BOUNDARY that follows them. The book's flow is
// released once cut, to lower the peak.
void writeMobi6Part(Book& book, const Metadata& metadata, Compression compression, const JointExtras* joint,
                    RecordSink& records);

}  // namespace mobigen
