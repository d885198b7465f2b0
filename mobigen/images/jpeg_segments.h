#pragma once

// A JPEG's marker segments, read without decoding: whether stb may see the file, and the JFIF
// header Kindles expect in front.

#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

constexpr int kJfifDotsPerInch = 72;  // written where a file states no density

// Walks every segment up to the end marker. Anything stb could read differently is refused.
bool jpegTablesAreSafe(std::string_view data);

struct JpegHeader {
    bool jfifFirst = false;         // an APP0 JFIF segment right after SOI ...
    bool densityInDpi = false;      // ... whose density units are 1
    int orientation = 1;            // from Exif; 1 when absent
    int components = 0;             // from the frame header; 0 when none was found
    bool adobeTransformed = false;  // an Adobe segment that makes libjpeg read colours otherwise than JFIF says
};

// The header facts, from the segments before the first scan.
JpegHeader readJpegHeader(std::string_view data);

// Whether a JPEG can take a JFIF header without changing what it shows: upright, grey or
// YCbCr. Others must be decoded and written again.
bool canTakeJfif(const JpegHeader& header);

// The same file with one JFIF segment (density in dots per inch) right after SOI, and no
// other JFIF or Exif segment; the scan data is untouched. Empty when the segments cannot be
// walked.
std::optional<std::string> withJfifHeader(std::string_view data);

}  // namespace mobigen
