#include "mobigen/image_fit.h"
#include "mobigen/images.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace mobigen;

namespace {

struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<unsigned char> pixels;
};

// A gradient with noise on top: photo-like, so JPEG sizes behave as they do for real pictures.
Raster noisyGradient(int width, int height, int channels, int noise) {
    Raster raster{width, height, channels, {}};
    raster.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(channels));
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

void appendTo(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

std::string jpegOf(const Raster& r, int quality) {
    std::string out;
    stbi_write_jpg_to_func(appendTo, &out, r.width, r.height, r.channels, r.pixels.data(), quality);
    return out;
}

std::string pngOf(const Raster& r) {
    std::string out;
    stbi_write_png_to_func(appendTo, &out, r.width, r.height, r.channels, r.pixels.data(), 0);
    return out;
}

std::string bmpOf(const Raster& r) {
    std::string out;
    stbi_write_bmp_to_func(appendTo, &out, r.width, r.height, r.channels, r.pixels.data());
    return out;
}

Raster decoded(const std::string& data, int channels = 0) {
    Raster raster;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(data.data()), static_cast<int>(data.size()),
                                            &raster.width, &raster.height, &raster.channels, channels);
    if (pixels == nullptr) return {};
    if (channels != 0) raster.channels = channels;
    raster.pixels.assign(pixels, pixels + raster.width * raster.height * raster.channels);
    stbi_image_free(pixels);
    return raster;
}

bool isJpeg(const std::string& data) { return sniffImageFormat(data) == ImageFormat::Jpeg; }

// A shrunk image: a decodable JPEG of the expected size, smaller than what it replaces.
void expectShrunk(const std::string& original, const FittedImage& fitted, int width, int height) {
    ASSERT_TRUE(fitted.smaller.has_value()) << fitted.problem;
    EXPECT_EQ(fitted.problem, "");
    EXPECT_LT(fitted.smaller->size(), original.size());
    EXPECT_TRUE(isJpeg(*fitted.smaller));
    const Raster result = decoded(*fitted.smaller);
    EXPECT_EQ(result.width, width);
    EXPECT_EQ(result.height, height);
}

void expectKeptSilently(const std::string& original) {
    const FittedImage fitted = fitImage(original);
    EXPECT_FALSE(fitted.smaller.has_value());
    EXPECT_EQ(fitted.problem, "");
}

std::string bigEndian16(int value) {
    return {static_cast<char>(value >> 8 & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string bigEndian32(std::uint32_t value) {
    return bigEndian16(static_cast<int>(value >> 16)) + bigEndian16(static_cast<int>(value & 0xFFFF));
}

// Headers that claim a size, followed by bytes no decoder should ever get to.
std::string jpegClaiming(int width, int height) {
    return std::string("\xFF\xD8\xFF\xC0\x00\x0B\x08", 7) + bigEndian16(height) + bigEndian16(width) +
           std::string("\x01\x01\x11\x00\xFF\xD9", 6) + std::string(200000, '\x55');
}

std::string pngClaiming(std::uint32_t width, std::uint32_t height) {
    return std::string("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + bigEndian32(width) + bigEndian32(height) +
           std::string("\x08\x02\x00\x00\x00\x00\x00\x00\x00", 9) + std::string(200000, '\x55');
}

TEST(ImageFit, LargeImagesAreScaledIntoTheBoxKeepingTheirShape) {
    const std::string wide = jpegOf(noisyGradient(1300, 900, 3, 12), 95);
    expectShrunk(wide, fitImage(wide), 1072, 742);

    // An alpha channel that is opaque everywhere is no reason to keep a PNG.
    const std::string tall = pngOf(noisyGradient(400, 1500, 4, 12));
    expectShrunk(tall, fitImage(tall), 386, 1448);

    // Few bytes but too many pixels.
    const std::string flat = jpegOf(noisyGradient(1650, 200, 1, 0), 90);
    ASSERT_LE(flat.size(), kImageKeepBytes);
    expectShrunk(flat, fitImage(flat), 1072, 130);
}

TEST(ImageFit, HeavyImagesThatFitTheScreenAreOnlyReencoded) {
    const std::string bmp = bmpOf(noisyGradient(500, 400, 3, 12));
    expectShrunk(bmp, fitImage(bmp), 500, 400);

    const std::string photo = jpegOf(noisyGradient(700, 900, 3, 12), 100);
    ASSERT_GT(photo.size(), kImageKeepBytes);
    const FittedImage fitted = fitImage(photo);
    expectShrunk(photo, fitted, 700, 900);
    EXPECT_LE(fitted.smaller->size(), kImageKeepBytes);
}

TEST(ImageFit, GreyStaysGrey) {
    const std::string grey = jpegOf(noisyGradient(1000, 2000, 1, 12), 95);
    const FittedImage fitted = fitImage(grey);
    expectShrunk(grey, fitted, 724, 1448);
    const Raster rgb = decoded(*fitted.smaller, 3);
    ASSERT_FALSE(rgb.pixels.empty());
    for (std::size_t at = 0; at < rgb.pixels.size(); at += 3) {
        ASSERT_EQ(rgb.pixels[at], rgb.pixels[at + 1]) << "pixel " << at / 3;
        ASSERT_EQ(rgb.pixels[at], rgb.pixels[at + 2]) << "pixel " << at / 3;
    }
}

TEST(ImageFit, SmallGifAndTransparentImagesAreKeptByteForByte) {
    expectKeptSilently(jpegOf(noisyGradient(300, 400, 3, 12), 95));
    const std::string largestKept = jpegOf(noisyGradient(1600, 1600, 1, 0), 50);
    ASSERT_LE(largestKept.size(), kImageKeepBytes);
    expectKeptSilently(largestKept);

    std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x21\xF9\x04\x01\x00\x00\x00\x00"
                    "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B", 43);
    gif += std::string(300000, '\x3B');
    expectKeptSilently(gif);

    Raster seeThrough = noisyGradient(400, 400, 4, 12);
    seeThrough.pixels[4 * 5000 + 3] = 0x80;
    const std::string transparent = pngOf(seeThrough);
    ASSERT_GT(transparent.size(), kImageKeepBytes);
    expectKeptSilently(transparent);
    Raster greySeeThrough = noisyGradient(1700, 300, 2, 12);
    greySeeThrough.pixels.back() = 0;
    expectKeptSilently(pngOf(greySeeThrough));
}

TEST(ImageFit, DamagedImagesAreKeptWithAReason) {
    const std::string jpeg = jpegOf(noisyGradient(1200, 900, 3, 12), 95);
    const std::string png = pngOf(noisyGradient(500, 400, 3, 12));
    const std::string bmp = bmpOf(noisyGradient(500, 400, 3, 12));
    std::mt19937 random(7);
    std::string garbage("\xFF\xD8\xFF", 3);
    while (garbage.size() < 300000) garbage += static_cast<char>(random());
    std::string badScan = jpeg;
    for (std::size_t at = jpeg.size() / 3; at < jpeg.size() - 2; at += 97) badScan[at] = static_cast<char>(random());
    // Huffman counts adding up to more than a table holds: Debian's stb would write past it.
    std::string counts(14, '\0');
    counts += "\x96\x96";  // 2 x 150 codes
    std::string overfullTable = jpeg;
    overfullTable.insert(overfullTable.find("\xFF\xC4"), "\xFF\xC4" + bigEndian16(2 + 17 + 300) + '\0' + counts + std::string(300, '\x01'));
    const std::string damaged[] = {jpeg.substr(0, jpeg.size() / 2), jpeg.substr(0, jpeg.size() - 2), garbage,
                                   png.substr(0, png.size() / 2), png.substr(0, png.size() - 12),
                                   bmp.substr(0, bmp.size() - 1000), overfullTable, badScan};
    for (const std::string& data : damaged) {
        const FittedImage fitted = fitImage(data);
        if (&data == &damaged[7] && fitted.smaller) continue;  // corrupt bits can still decode to a picture
        EXPECT_FALSE(fitted.smaller.has_value()) << "case " << &data - damaged;
        EXPECT_NE(fitted.problem, "") << "case " << &data - damaged;
    }
}

TEST(ImageFit, HugeHeadersAreNotDecoded) {
    for (const std::string& bomb : {jpegClaiming(60000, 60000), jpegClaiming(8000, 8000), pngClaiming(60000, 60000),
                                    pngClaiming(7000, 7000)}) {
        const FittedImage fitted = fitImage(bomb);
        EXPECT_FALSE(fitted.smaller.has_value());
        EXPECT_NE(fitted.problem, "");
    }
    EXPECT_NE(fitImage(jpegClaiming(8000, 8000)).problem.find("8000x8000"), std::string::npos);
}

TEST(ImageFit, TheCollectorStoresTheFittedImageAndNamesTheFileItCouldNotRead) {
    std::vector<Image> images;
    Diagnostics diagnostics;
    ImageCollector collector(images, diagnostics);
    const std::string big = jpegOf(noisyGradient(1300, 900, 3, 12), 95);
    std::string garbage("\xFF\xD8\xFF", 3);
    garbage.resize(200000, '\x11');
    EXPECT_EQ(collector.record("big.jpg", [&] { return big; }), 1u);
    EXPECT_EQ(collector.record("bad.jpg", [&] { return garbage; }), 2u);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_LT(images[0].data.size(), big.size());
    EXPECT_EQ(decoded(images[0].data).width, 1072);
    EXPECT_EQ(images[1].data, garbage);
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_NE(diagnostics.warnings[0].find("bad.jpg"), std::string::npos);
}

}  // namespace
