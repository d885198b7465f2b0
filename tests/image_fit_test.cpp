#include "mobigen/images/image_fit.h"
#include "mobigen/images/images.h"
#include "mobigen/images/jpeg_segments.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace mobigen;

namespace {

struct Raster {
    int width, height, channels;
    std::vector<unsigned char> pixels;
};

// A gradient with noise on top: photo-like, so JPEG sizes behave as they do for real
// pictures. Alpha, where there is one, is opaque.
Raster noisyGradient(int width, int height, int channels, int noise) {
    Raster raster{width, height, channels, {}};
    std::uint32_t state = 42;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                state = state * 1664525u + 1013904223u;
                const bool alpha = (channels == 2 || channels == 4) && c == channels - 1;
                const int jitter = noise == 0 ? 0 : static_cast<int>(state >> 24) % (2 * noise + 1) - noise;
                const int base = (x * 255 / width + y * 255 / height * (c + 1)) / (c + 2);
                raster.pixels.push_back(alpha ? 0xFF : static_cast<unsigned char>(std::clamp(base + jitter, 0, 255)));
            }
    return raster;
}

// 'j'peg at `quality`, 'p'ng or 'b'mp.
std::string encoded(const Raster& r, char format, int quality = 95) {
    std::string out;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    };
    if (format == 'j') stbi_write_jpg_to_func(append, &out, r.width, r.height, r.channels, r.pixels.data(), quality);
    if (format == 'p') stbi_write_png_to_func(append, &out, r.width, r.height, r.channels, r.pixels.data(), 0);
    if (format == 'b') stbi_write_bmp_to_func(append, &out, r.width, r.height, r.channels, r.pixels.data());
    return out;
}

std::string encoded(int width, int height, int channels, char format, int quality = 95) {
    return encoded(noisyGradient(width, height, channels, 12), format, quality);
}

std::string bigEndian16(int value) { return {static_cast<char>(value >> 8 & 0xFF), static_cast<char>(value & 0xFF)}; }

// Headers that claim a size, followed by bytes no decoder should ever get to.
std::string jpegClaiming(int width, int height) {
    return std::string("\xFF\xD8\xFF\xC0\x00\x0B\x08", 7) + bigEndian16(height) + bigEndian16(width) +
           std::string("\x01\x01\x11\x00\xFF\xD9", 6) + std::string(200000, '\x55');
}

std::string pngClaiming(int width, int height) {
    return std::string("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR\0\0", 18) + bigEndian16(width) + std::string(2, '\0') +
           bigEndian16(height) + std::string("\x08\x02\x00\x00\x00\x00\x00\x00\x00", 9) + std::string(200000, '\x55');
}

using RgbPixels = std::unique_ptr<stbi_uc, void (*)(void*)>;

RgbPixels decodedRgb(const std::string& image, int& width, int& height) {
    int channels = 0;
    return RgbPixels(stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(image.data()),
                                           static_cast<int>(image.size()), &width, &height, &channels, 3),
                     stbi_image_free);
}

bool hasDpiJfif(const std::string& jpeg) {
    const JpegHeader header = readJpegHeader(jpeg);
    return header.jfifFirst && header.densityInDpi;
}

// Uncompressed GIF: a clear code every 126 pixels keeps the codes 8 bits wide, one per byte.
std::string gif(const Raster& grey) {
    std::string out =
        "GIF89a" +
        std::string{char(grey.width), char(grey.width >> 8), char(grey.height), char(grey.height >> 8), '\xE6', 0, 0};
    for (int i = 0; i < 128; ++i) out += std::string(3, static_cast<char>(i * 2));
    out += std::string{
        ',', 0, 0, 0, 0, char(grey.width), char(grey.width >> 8), char(grey.height), char(grey.height >> 8), 0, 7};
    std::string codes;
    for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
        if (i % 126 == 0) codes += '\x80';
        codes += static_cast<char>(grey.pixels[i] / 2);
    }
    codes += '\x81';
    for (std::size_t at = 0; at < codes.size(); at += 255)
        out += static_cast<char>(std::min<std::size_t>(255, codes.size() - at)) + codes.substr(at, 255);
    return out + std::string("\0;", 2);
}

TEST(ImageFit, LargeOrHeavyImagesBecomeSmallerJpegsInsideTheBox) {
    struct Case {
        std::string image;
        int width, height, grey;
    };
    const Case cases[] = {
        {encoded(1300, 900, 3, 'j'), 1072, 742, false},
        {encoded(400, 1500, 4, 'p'), 386, 1448, false},  // an opaque alpha channel is no reason to keep a PNG
        {encoded(noisyGradient(1650, 200, 1, 0), 'j', 90), 1072, 130,
         true},  // few bytes but too many pixels; grey stays grey
        {encoded(500, 400, 3, 'b'), 500, 400, false},
        {encoded(700, 900, 3, 'j', 100), 700, 900, false},  // fits the screen but not the record
        {encoded(2400, 1800, 3, 'j'), 1072, 804, false},    // libjpeg decodes it at half size
        {encoded(noisyGradient(3300, 300, 1, 0), 'j', 90), 1072, 97, true},
        {encoded(noisyGradient(8600, 200, 1, 0), 'j', 90), 1072, 25, true},   // at an eighth, just over the box
        {encoded(noisyGradient(1072, 1448, 3, 127), 'j', 100), 0, 0, false},  // over the limit at quality 60
        {gif(noisyGradient(700, 500, 1, 40)), 700, 500, true},
    };
    ASSERT_LE(cases[2].image.size(), kImageKeepBytes);
    ASSERT_GT(cases[4].image.size(), kImageKeepBytes);
    ASSERT_GT(cases[8].image.size(), kImageKeepBytes);
    for (const Case& c : cases) {
        const FittedImage fitted = fitImage(c.image);
        ASSERT_TRUE(fitted.replacement.has_value()) << fitted.problem;
        EXPECT_EQ(fitted.problem, "");
        EXPECT_LE(fitted.replacement->size(), std::min(c.image.size() - 1, kImageKeepBytes));
        EXPECT_TRUE(hasDpiJfif(*fitted.replacement));
        int width = 0, height = 0;
        const RgbPixels rgb = decodedRgb(*fitted.replacement, width, height);
        ASSERT_TRUE(rgb);
        if (c.width == 0) {  // made smaller than the box, in proportion
            EXPECT_LT(width, kImageFitWidth);
            EXPECT_NEAR(height * kImageFitWidth, width * kImageFitHeight, kImageFitHeight);
        } else {
            EXPECT_EQ(std::make_pair(width, height), std::make_pair(c.width, c.height));
        }
        const stbi_uc* p = rgb.get();
        for (int at = 0; c.grey && at < 3 * width * height; at += 3)
            ASSERT_TRUE(p[at] == p[at + 1] && p[at] == p[at + 2]) << "pixel " << at / 3;
    }
}

// Red left, blue right, with a green bar along the top: a swapped channel or a shifted row or
// column shows at once.
Raster twoColours(int width, int height, int channels) {
    Raster raster{width, height, channels, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool top = y < height / 10, left = x < width / 2;
            const int rgba[4] = {top ? 0 : left ? 220 : 10, top ? 200 : 10, top ? 0 : left ? 10 : 220, 0xFF};
            for (int c = 0; c < channels; ++c) raster.pixels.push_back(static_cast<unsigned char>(rgba[c]));
        }
    return raster;
}

std::string withoutFirstSegment(const std::string& jpeg) {
    return jpeg.substr(0, 2) +
           jpeg.substr(4 + (static_cast<unsigned char>(jpeg[4]) << 8 | static_cast<unsigned char>(jpeg[5])));
}

std::string withExif(const std::string& jpeg, char orientation) {
    const std::string tiff =
        std::string("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) + orientation + std::string(6, '\0');
    return jpeg.substr(0, 2) + "\xFF\xE1" + bigEndian16(2 + 6 + static_cast<int>(tiff.size())) +
           std::string("Exif\0\0", 6) + tiff + withoutFirstSegment(jpeg).substr(2);
}

TEST(ImageFit, SmallImagesAreKeptButForTheJfifHeaderAJpegGets) {
    Raster seeThrough = noisyGradient(150, 150, 4, 12);
    seeThrough.pixels[4 * 5000 + 3] = 0x80;
    const std::string jpeg = encoded(300, 400, 3, 'j');  // stb's JFIF header has no density units
    const std::string largestKept = encoded(noisyGradient(1600, 1600, 1, 0), 'j', 50);
    ASSERT_LE(largestKept.size(), kImageKeepBytes);
    const std::string right = *fitImage(jpeg).replacement;
    const struct {
        std::string image;
        bool patched;
    } cases[] = {{encoded(seeThrough, 'p'), false},
                 {gif(noisyGradient(200, 100, 1, 9)), false},
                 {right, false},
                 {jpeg, true},
                 {largestKept, true},
                 {withoutFirstSegment(jpeg), true},
                 {withExif(jpeg, 1), true}};
    for (const auto& c : cases) {
        const FittedImage fitted = fitImage(c.image);
        EXPECT_EQ(fitted.problem, "");
        ASSERT_EQ(fitted.replacement.has_value(), c.patched) << c.image.size() << " bytes";
        if (!c.patched) continue;
        EXPECT_TRUE(hasDpiJfif(*fitted.replacement));
        EXPECT_EQ(fitted.replacement->find("Exif"), std::string::npos);
        EXPECT_EQ(fitted.replacement->substr(fitted.replacement->size() - 1000), c.image.substr(c.image.size() - 1000));
    }
}

// Red left, blue right, green on top: shrunk to half or less, and stored on its side with EXIF
// saying it is shown turned a quarter clockwise.
TEST(ImageFit, ColoursStayInPlaceWhenShrunkOrTurnedUpright) {
    const std::string wide = encoded(twoColours(2400, 1800, 3), 'j'), alpha = encoded(twoColours(3000, 2000, 4), 'p');
    const std::string turned = withExif(encoded(twoColours(300, 200, 3), 'j'), 6);
    const struct {
        const std::string& image;
        std::pair<int, int> size;
        std::vector<std::tuple<int, int, int>> probes;  // x, y, 0xRGB in steps of 16
    } cases[] = {
        {wide, {1072, 804}, {{200, 402, 0xD0000}, {900, 402, 0xD}, {536, 20, 0xC00}, {1071, 803, 0xD}}},
        {alpha, {1072, 715}, {{200, 357, 0xD0000}, {900, 357, 0xD}, {536, 20, 0xC00}, {1071, 714, 0xD}}},
        {turned, {200, 300}, {{100, 20, 0xD0000}, {100, 280, 0xD}, {195, 150, 0xC00}}},
    };
    for (const auto& c : cases) {
        const FittedImage fitted = fitImage(c.image);
        ASSERT_TRUE(fitted.replacement.has_value()) << fitted.problem;
        EXPECT_TRUE(hasDpiJfif(*fitted.replacement));
        int width = 0, height = 0;
        const RgbPixels rgb = decodedRgb(*fitted.replacement, width, height);
        ASSERT_EQ(std::make_pair(width, height), c.size);
        for (const auto& [x, y, colour] : c.probes) {
            const stbi_uc* p = rgb.get() + 3 * (y * width + x);
            EXPECT_EQ(p[0] / 16 << 16 | p[1] / 16 << 8 | p[2] / 16, colour) << x << "," << y;
        }
    }
}

TEST(ImageFit, TransparencyStaysInAPngWithinTheLimit) {
    Raster wide = noisyGradient(1700, 300, 2, 12);
    wide.pixels.back() = 0;
    Raster heavy = noisyGradient(1000, 1000, 4, 100);
    for (std::size_t at = 3; at < heavy.pixels.size(); at += 4)
        heavy.pixels[at] = static_cast<unsigned char>(at / 4 % 256);
    for (const Raster& raster : {wide, heavy}) {
        const std::string image = encoded(raster, 'p');
        const FittedImage fitted = fitImage(image);
        ASSERT_TRUE(fitted.replacement.has_value()) << fitted.problem;
        EXPECT_EQ(sniffImageFormat(*fitted.replacement), ImageFormat::Png);
        EXPECT_LE(fitted.replacement->size(), kImageKeepBytes);
        int width = 0, height = 0, channels = 0;
        const stbi_uc* bytes = reinterpret_cast<const stbi_uc*>(fitted.replacement->data());
        ASSERT_TRUE(
            stbi_info_from_memory(bytes, static_cast<int>(fitted.replacement->size()), &width, &height, &channels));
        EXPECT_EQ(channels, raster.channels);
        EXPECT_LE(width, kImageFitWidth);
    }
}

TEST(ImageFit, DamagedOrHugeImagesAreKeptWithAReason) {
    const std::string jpeg = encoded(1200, 900, 3, 'j');
    const std::string png = encoded(500, 400, 3, 'p');
    const std::string bmp = encoded(500, 400, 3, 'b');
    std::mt19937 random(7);
    std::string garbage("\xFF\xD8\xFF", 3);
    while (garbage.size() < 300000) garbage += static_cast<char>(random());
    // Huffman counts adding up to more than a table holds: Debian's stb would write past it.
    std::string overfullTable = jpeg;
    overfullTable.insert(
        overfullTable.find("\xFF\xC4"),
        "\xFF\xC4" + bigEndian16(2 + 17 + 300) + std::string(15, '\0') + "\x96\x96" + std::string(300, '\x01'));
    for (const std::string& image :
         {jpeg.substr(0, jpeg.size() / 2), jpeg.substr(0, jpeg.size() - 2), garbage, png.substr(0, png.size() / 2),
          png.substr(0, png.size() - 12), overfullTable, bmp.substr(0, bmp.size() - 1000), jpegClaiming(60000, 60000),
          pngClaiming(60000, 60000), pngClaiming(7000, 7000), "GIF89a" + std::string(300000, '\x3B')}) {
        const FittedImage fitted = fitImage(image);
        EXPECT_FALSE(fitted.replacement.has_value()) << image.size() << " bytes";
        EXPECT_NE(fitted.problem, "") << image.size() << " bytes";
    }
    EXPECT_NE(fitImage(jpegClaiming(8000, 8000)).problem.find("8000x8000"), std::string::npos);
}

TEST(ImageFit, TheCollectorStoresTheFittedImageAndNamesTheFileItCouldNotRead) {
    std::vector<Image> images;
    Diagnostics diagnostics;
    ImageCollector collector(images, diagnostics);
    const std::string big = encoded(1300, 900, 3, 'j');
    const std::string garbage = std::string("\xFF\xD8\xFF", 3) + std::string(200000, '\x11');
    EXPECT_EQ(collector.record("big.jpg", [&] { return big; }), 1u);
    EXPECT_EQ(collector.record("bad.jpg", [&] { return garbage; }), 2u);
    EXPECT_EQ(collector.record("big.jpg", [&] { return garbage; }), 1u);
    EXPECT_EQ(collector.thumbnail(1), 3u);
    collector.fitAll();
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0].data, *fitImage(big).replacement);
    int width = 0, height = 0;
    ASSERT_TRUE(decodedRgb(images[2].data, width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(kThumbnailWidth, 228));
    EXPECT_TRUE(hasDpiJfif(images[2].data));
    EXPECT_EQ(images[1].data, garbage);
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_NE(diagnostics.warnings[0].find("bad.jpg"), std::string::npos);
}

}  // namespace
