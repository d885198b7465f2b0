#pragma once

#include "mobigen/book.h"
#include "mobigen/mobi6/writer.h"

#include <string>

namespace mobigen {

enum class OutputKind {
    Joint,  // MOBI 6 part, BOUNDARY, KF8 part: old and new readers both
    Mobi6,  // the MOBI 6 part alone
    Kf8,    // the KF8 part alone (.azw3)
};

// Whether the readers filled the book's KF8 part.
inline bool hasKf8Part(const Book& book) { return !book.kf8.documents.empty() || book.kf8.documentSource; }

// Writes the file's records into `records` in file order and returns the PalmDB header that
// goes in front of them. A book without a KF8 part is written as MOBI 6 alone for Joint; for
// Kf8 it is refused with a ConversionError. Taken by value: its parts are released as they
// are written, so a caller done with the book should move it in.
std::string writeBook(Book book, Compression compression, OutputKind kind, Diagnostics& diagnostics,
                      RecordSink& records);
// The whole file in memory.
std::string writeBook(Book book, Compression compression, OutputKind kind, Diagnostics& diagnostics);

}  // namespace mobigen
