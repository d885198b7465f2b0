#include "mobigen/images/svg_render.h"

#include "mobigen/images/image_fit.h"
#include "tests/support/books.h"
#include "tests/support/checks.h"

#ifdef TW_WITH_LIBMOBI
#include "libmobi_support.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/kf8/writer.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using mobigen::renderSvg;

// A 1x1 blue PNG.
const std::string kBluePixel =
    "data:image/"
    "png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR42mNgYPgPAAEDAQA2dBFAAAAAAElFTkSuQmCC";

// A solid 8x8 JPEG of one colour.
std::string solidJpeg(unsigned char r, unsigned char g, unsigned char b) {
    std::vector<unsigned char> rgb;
    for (int i = 0; i < 64; ++i) rgb.insert(rgb.end(), {r, g, b});
    return mobigen::encodeFittedJpeg(rgb.data(), 8, 8, 3);
}

std::string svg20(const std::string& body, const std::string& root = "width=\"20\" height=\"20\"") {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" " + root + ">" +
           body + "</svg>";
}

struct Probe {
    int x, y;
    std::uint32_t rgba;
};

struct Case {
    const char* what;
    std::string svg;
    std::vector<Probe> probes;
    const char* warning = nullptr;  // a word the warnings must hold
};

// Each level draws the one below twice: 2^levels rectangles from a few lines.
std::string useBomb(int levels) {
    std::string out;
    for (int i = 1; i <= levels; ++i) {
        const std::string below = "#a" + std::to_string(i - 1);
        out += "<g id=\"a" + std::to_string(i) + "\"><use href=\"" + below + "\"/><use href=\"" + below + "\"/></g>";
    }
    return out;
}

constexpr std::uint32_t kNone = 0x00000000, kBlack = 0x000000FF, kRed = 0xFF0000FF, kBlue = 0x0000FFFF;
const std::string kWhiteGround = "<rect width=\"20\" height=\"20\" fill=\"white\"/>";

std::vector<Case> cases() {
    return {
        {"rect, named colour",
         svg20("<rect x=\"5\" y=\"5\" width=\"10\" height=\"10\" fill=\"red\"/>"),
         {{10, 10, kRed}, {2, 2, kNone}}},
        {"rounded rect, #rgb",
         svg20("<rect width=\"20\" height=\"20\" rx=\"8\" fill=\"#0f0\"/>"),
         {{10, 10, 0x00FF00FF}, {0, 0, kNone}, {10, 0, 0x00FF00FF}}},
        {"circle, rgb()",
         svg20("<circle cx=\"10\" cy=\"10\" r=\"5\" fill=\"rgb(0, 0, 255)\"/>"),
         {{10, 10, kBlue}, {10, 3, kNone}, {5, 5, kNone}}},
        {"ellipse, #rrggbb",
         svg20("<ellipse cx=\"10\" cy=\"10\" rx=\"9\" ry=\"3\" fill=\"#123456\"/>"),
         {{2, 10, 0x123456FF}, {10, 5, kNone}}},
        {"line, stroke width, no fill",
         svg20("<line x1=\"0\" y1=\"10\" x2=\"20\" y2=\"10\" stroke=\"black\" stroke-width=\"4\" fill=\"red\"/>"),
         {{10, 8, kBlack}, {10, 11, kBlack}, {10, 12, kNone}, {10, 6, kNone}}},
        {"polygon and polyline",
         svg20("<polygon points=\"0,0 20,0 0,20\"/><polyline points=\"20,20 20,10 10,20\" fill=\"blue\"/>"),
         {{3, 3, kBlack}, {12, 12, kNone}, {18, 18, kBlue}}},
        {"arc", svg20("<path d=\"M2 10 a8 8 0 0 1 16 0 z\"/>"), {{10, 5, kBlack}, {10, 14, kNone}, {3, 3, kNone}}},
        {"h v H Z and a second subpath",
         svg20("<path d=\"M0 0h10v10H0Z m10 10 l10 0 V20 h-10 z\"/>"),
         {{5, 5, kBlack}, {15, 5, kNone}, {15, 15, kBlack}}},
        {"cubic and smooth cubic",
         svg20("<path d=\"M0 10 C0 0 10 0 10 10 S20 20 20 10 Z\"/>"),
         {{5, 6, kBlack}, {15, 14, kBlack}, {15, 6, kNone}, {5, 14, kNone}}},
        {"quadratic and smooth quadratic",
         svg20("<path d=\"M0 10 Q5 0 10 10 T20 10 Z\"/>"),
         {{5, 7, kBlack}, {15, 12, kBlack}, {15, 7, kNone}}},
        {"evenodd",
         svg20("<path fill-rule=\"evenodd\" d=\"M0 0h20v20H0z M5 5h10v10H5z\"/>"),
         {{2, 2, kBlack}, {10, 10, kNone}}},
        {"nonzero", svg20("<path d=\"M0 0h20v20H0z M5 5h10v10H5z\"/>"), {{2, 2, kBlack}, {10, 10, kBlack}}},
        {"g with translate, scale, matrix",
         svg20("<g transform=\"translate(10 0)\"><rect width=\"5\" height=\"5\"/></g>"
               "<g transform=\"scale(2) matrix(1 0 0 1 0 5)\"><rect width=\"2\" height=\"2\" fill=\"red\"/></g>"),
         {{12, 2, kBlack}, {2, 2, kNone}, {3, 12, kRed}, {3, 9, kNone}}},
        {"rotate about a point",
         svg20("<rect x=\"10\" y=\"8\" width=\"10\" height=\"4\" transform=\"rotate(90 10 10)\"/>"),
         {{10, 15, kBlack}, {15, 10, kNone}}},
        {"skewX and skewY",
         svg20("<rect width=\"5\" height=\"10\" transform=\"skewX(45)\"/>"
               "<rect y=\"10\" width=\"10\" height=\"5\" fill=\"red\" transform=\"skewY(45)\"/>"),
         {{9, 8, kBlack}, {1, 8, kNone}, {8, 19, kRed}}},
        {"use by href and xlink:href, defs not drawn",
         svg20("<defs><rect id=\"r\" width=\"5\" height=\"5\"/></defs><use href=\"#r\" x=\"10\" y=\"10\"/>"
               "<use xlink:href=\"#r\" x=\"0\" y=\"10\" fill=\"red\"/>"),
         {{12, 12, kBlack}, {2, 12, kRed}, {2, 2, kNone}}},
        {"viewBox meets in the middle",
         svg20("<rect width=\"10\" height=\"20\"/>", "width=\"20\" height=\"20\" viewBox=\"0 0 10 20\""),
         {{2, 10, kNone}, {10, 10, kBlack}, {17, 10, kNone}}},
        {"viewBox sliced at the top left",
         svg20("<rect width=\"5\" height=\"5\"/>",
               "width=\"20\" height=\"20\" viewBox=\"0 0 10 20\" preserveAspectRatio=\"xMinYMin slice\""),
         {{8, 8, kBlack}, {12, 12, kNone}}},
        {"viewBox stretched",
         svg20("<rect width=\"5\" height=\"20\"/>",
               "width=\"20\" height=\"20\" viewBox=\"0 0 10 20\" preserveAspectRatio=\"none\""),
         {{8, 10, kBlack}, {12, 10, kNone}}},
        {"fill, stroke and group opacity",
         svg20(kWhiteGround + "<rect width=\"10\" height=\"10\" fill=\"red\" fill-opacity=\"0.5\"/>" +
               "<g opacity=\"0.5\"><rect x=\"10\" width=\"10\" height=\"10\" fill=\"blue\"/></g>" +
               "<line x1=\"0\" y1=\"15\" x2=\"20\" y2=\"15\" stroke=\"black\" stroke-width=\"4\" "
               "stroke-opacity=\"0.5\"/>"),
         {{5, 5, 0xFF8080FF}, {15, 5, 0x8080FFFF}, {10, 15, 0x808080FF}}},
        {"style sheet by type and class, style attribute last",
         svg20(
             "<style>rect { fill: blue } .x { fill: lime } circle.y { fill: black }</style>"
             "<rect width=\"10\" height=\"10\" fill=\"red\"/><rect class=\"a x\" x=\"10\" width=\"10\" height=\"10\"/>"
             "<circle class=\"y\" cx=\"5\" cy=\"15\" r=\"4\" style=\"fill: red\"/>"
             "<circle class=\"y\" cx=\"15\" cy=\"15\" r=\"4\"/>"),
         {{5, 5, kBlue}, {15, 5, 0x00FF00FF}, {5, 15, kRed}, {15, 15, kBlack}}},
        {"miter join reaches past the corner",
         svg20("<polyline points=\"2,18 10,4 18,18\" fill=\"none\" stroke=\"black\" stroke-width=\"4\"/>"),
         {{10, 2, kBlack}}},
        {"bevel join stops at the corner",
         svg20("<polyline points=\"2,18 10,4 18,18\" fill=\"none\" stroke=\"black\" stroke-width=\"4\" "
               "stroke-linejoin=\"bevel\"/>"),
         {{10, 2, kNone}}},
        {"edges are anti-aliased",
         svg20("<rect width=\"10.5\" height=\"20\"/>"),
         {{9, 5, kBlack}, {10, 5, 0x00000080}, {11, 5, kNone}}},
        {"embedded and linked pictures",
         svg20("<image width=\"10\" height=\"20\" preserveAspectRatio=\"none\" xlink:href=\"" + kBluePixel + "\"/>" +
               "<image x=\"10\" width=\"10\" height=\"10\" href=\"red.jpg\"/>"),
         {{5, 15, kBlue}, {15, 5, kRed}, {15, 15, kNone}}},
        {"text is skipped with a warning",
         svg20("<text x=\"0\" y=\"10\">Hi</text><rect width=\"2\" height=\"2\"/>"),
         {{1, 1, kBlack}, {5, 8, kNone}},
         "text"},
        {"nesting past the limit is cut with a warning",
         svg20(test_support::repeat("<g>", 80) + "<rect width=\"20\" height=\"20\"/>" +
               test_support::repeat("</g>", 80)),
         {{10, 10, kNone}},
         "nest"},
        {"a use bomb stops at the work limit",
         svg20("<defs><rect id=\"a0\"/>" + useBomb(20) + "</defs><use href=\"#a20\"/>"),
         {},
         "too costly"},
        {"malformed XML is refused with the reason", "<svg><g></svg>", {}, "well-formed"},
    };
}

bool near(std::uint32_t expected, const std::uint8_t* pixel) {
    for (int c = 0; c < 4; ++c)
        if (std::abs(static_cast<int>(expected >> (24 - 8 * c) & 0xFF) - pixel[c]) > 12) return false;
    return true;
}

TEST(SvgRender, DrawsEachFeatureWhereItShould) {
    const std::string red = solidJpeg(255, 0, 0);
    const mobigen::SvgResourceLoader load = [&](std::string_view href) -> std::optional<std::string> {
        return href == "red.jpg" ? std::optional<std::string>(red) : std::nullopt;
    };
    for (const Case& c : cases()) {
        const mobigen::SvgRendering r = renderSvg(c.svg, 20, 20, load);
        if (!c.probes.empty()) {
            ASSERT_EQ(r.rgba.size(), 20u * 20u * 4u) << c.what;
        }
        for (const Probe& p : c.probes) {
            const std::uint8_t* pixel = &r.rgba[(static_cast<std::size_t>(p.y) * 20 + p.x) * 4];
            EXPECT_TRUE(near(p.rgba, pixel)) << c.what << " at " << p.x << "," << p.y << ": " << int(pixel[0]) << " "
                                             << int(pixel[1]) << " " << int(pixel[2]) << " " << int(pixel[3]);
        }
        std::string warnings;
        for (const std::string& w : r.warnings) warnings += w + "\n";
        if (c.warning == nullptr)
            EXPECT_EQ(warnings, "") << c.what;
        else
            EXPECT_NE(warnings.find(c.warning), std::string::npos) << c.what << ": " << warnings;
    }
}

#ifdef TW_WITH_LIBMOBI

std::string resource(const MOBIRawml* rawml, std::size_t uid) {
    for (const MOBIPart* part : test_support::partList(rawml->resources))
        if (part->uid == uid) return test_support::partText(part);
    return {};
}

// An SVG cover (a photo with its title as an outline) and an SVG illustration become rasters
// in the MOBI 6 part: the cover record at full size with the title drawn over the photo.
TEST(SvgRender, Mobi6PartGetsRasterCoverAndIllustration) {
    const std::string cover = svg20("<image width=\"600\" height=\"900\" xlink:href=\"" + kBluePixel +
                                        "\"/><path d=\"M100 700h400v100H100z\" fill=\"#fff\"/>",
                                    "viewBox=\"0 0 600 900\"");
    const std::string figure = svg20("<circle cx=\"10\" cy=\"10\" r=\"10\" fill=\"red\"/>");
    const std::string opf = test_support::makeOpf(
        "<meta name=\"cover\" content=\"cover\"/>",
        "<item id=\"cover\" href=\"cover.svg\" media-type=\"image/svg+xml\" properties=\"cover-image\"/>"
        "<item id=\"fig\" href=\"fig.svg\" media-type=\"image/svg+xml\"/>"
        "<item id=\"c1\" href=\"c1.xhtml\" media-type=\"application/xhtml+xml\"/>",
        "<itemref idref=\"c1\"/>");
    const std::string epub =
        test_support::buildEpub(opf, {{"cover.svg", cover},
                                      {"fig.svg", figure},
                                      {"c1.xhtml", test_support::makeXhtml("<p><img src=\"fig.svg\"/></p>")}});
    mobigen::Diagnostics diagnostics;
    const test_support::MobiData m = test_support::loadMobi(
        mobigen::writeBook(mobigen::readEpubBook(epub, "t", diagnostics), mobigen::Compression::PalmDoc,
                           mobigen::OutputKind::Joint, diagnostics),
        false);
    ASSERT_TRUE(m);
    const test_support::MobiRawml rawml = test_support::parseRawml(m.get());
    ASSERT_TRUE(rawml);
    const MOBIExthHeader* offset = mobi_get_exthrecord_by_tag(m.get(), EXTH_COVEROFFSET);
    ASSERT_NE(offset, nullptr);
    const auto coverImage = mobigen::decodeRgba(
        resource(rawml.get(), mobi_decode_exthvalue(static_cast<const unsigned char*>(offset->data), offset->size)));
    ASSERT_TRUE(coverImage);
    EXPECT_EQ(std::make_pair(coverImage->width, coverImage->height), std::make_pair(600, 900));
    const auto pixel = [&](const mobigen::RgbaImage& image, int x, int y) {
        return &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 4];
    };
    EXPECT_TRUE(near(kBlue, pixel(*coverImage, 300, 300)));
    EXPECT_TRUE(near(0xFFFFFFFF, pixel(*coverImage, 300, 750)));

    const std::string markup = test_support::partText(rawml->markup);
    // After the cover and its thumbnail.
    ASSERT_NE(markup.find("<img src=\"resource00002."), std::string::npos) << markup;
    const auto figureImage = mobigen::decodeRgba(resource(rawml.get(), 2));
    ASSERT_TRUE(figureImage);
    EXPECT_TRUE(near(kRed, pixel(*figureImage, 10, 10)));
    EXPECT_TRUE(near(kNone, pixel(*figureImage, 1, 1)));  // transparency kept, as PNG
}

#endif

}  // namespace
