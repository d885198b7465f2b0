#pragma once

// libjpeg-turbo behind a C++ face: its errors come back as return values, never as longjmps
// through our frames.

#include "mobigen/images/area_scaler.h"

#include <memory>
#include <string>
#include <string_view>

namespace mobigen {

// The largest of libjpeg's 1/2, 1/4 and 1/8 reductions whose output still covers
// `width` x `height`, so that the inverse DCT does most of the shrinking.
int jpegReduction(int sourceWidth, int sourceHeight, int width, int height);

// Hands out a JPEG's rows one at a time, reduced by the inverse DCT. Grey stays one channel,
// anything else comes out as RGB.
class JpegRowReader {
public:
    JpegRowReader();
    ~JpegRowReader();
    JpegRowReader(const JpegRowReader&) = delete;
    JpegRowReader& operator=(const JpegRowReader&) = delete;

    // False when libjpeg cannot read the header, or it declares another size than expected.
    bool start(std::string_view data, int expectedWidth, int expectedHeight, int reduction);
    bool readRow(std::uint8_t* row);
    PixelView output() const;  // size and channels once started; no data

private:
    struct Session;
    std::unique_ptr<Session> session_;
};

// Decoded a row at a time into two rows, all the scaler needs, so that no whole picture is
// ever held. Empty if libjpeg cannot read it.
Raster decodeJpegScaled(std::string_view data, int sourceWidth, int sourceHeight, int width, int height);

// Baseline 4:2:0 (grey stays one channel) with Huffman tables made for the picture, behind a
// JFIF header with its density in dots per inch. Empty on failure.
std::string encodeJpeg(const PixelView& pixels, int quality);

}  // namespace mobigen
