// Fixed-layout EPUBs of generated pictures, converted whole and read back by libmobi: the
// EXTH that marks the layout, and one document per page with its viewport.
#include "libmobi_support.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/kf8/writer.h"
#include "tests/support/books.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

namespace {

using namespace test_support;

std::string stripes(unsigned char step) {
    std::vector<unsigned char> grey(60 * 80);
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<unsigned char>(i / 60 * step);
    std::string png;
    const auto append = [](void* out, void* data, int size) {
        static_cast<std::string*>(out)->append(static_cast<char*>(data), size);
    };
    stbi_write_png_to_func(append, &png, 60, 80, 1, grey.data(), 0);
    return png;
}

TEST(FixedLayout, PagesKeepTheirSizeAndTheBookSaysSo) {
    const std::string pre = "<meta property=\"rendition:layout\">pre-paginated</meta>", v = "width=600, height=800";
    struct Case {
        std::string metadata, spine, itemProperties, viewport;  // the viewport both XHTML pages declare
        std::string exth;                                       // 122, 126 and 527
        std::string pageViewport;                               // in every page, the bitmap's too; "" for none
    } const cases[] = {
        {pre, " page-progression-direction=\"rtl\"", "", v, "true 600x800 rtl", v},
        {"<meta name=\"fixed-layout\" content=\"true\"/><meta name=\"original-resolution\" content=\"1200x1600\"/>", "",
         "", "", "true 1200x1600 (none)", "width=1200, height=1600"},
        {"", "", " properties=\"rendition:layout-pre-paginated\"", v, "true 600x800 (none)", v},
        {pre, "", " properties=\"rendition:layout-reflowable\"", v, "(none) (none) (none)", ""},
    };
    for (const Case& c : cases) {
        const std::string page = "<html><head><title>p</title><meta name=\"viewport\" content=\"" + c.viewport +
                                 "\"/></head><body><img src=\"a.png\"/></body></html>";
        std::string manifest, spine;
        for (const char* item : {"a.xhtml", "b.png", "c.xhtml"}) {
            manifest += std::string("<item id=\"") + item[0] + "\" href=\"" + item + "\" media-type=\"" +
                        (item[2] == 'x' ? "application/xhtml+xml" : "image/png") + "\"/>";
            spine += std::string("<itemref idref=\"") + item[0] + "\"" + c.itemProperties + "/>";
        }
        const std::string epub =
            buildEpub(makeOpf(c.metadata, manifest, spine, c.spine),
                      {{"a.xhtml", page}, {"c.xhtml", page}, {"a.png", stripes(3)}, {"b.png", stripes(5)}});
        mobigen::Diagnostics diagnostics;
        const MobiData m =
            loadMobi(mobigen::writeBook(mobigen::readEpubBook(epub, "Comic", diagnostics),
                                        mobigen::Compression::PalmDoc, mobigen::OutputKind::Joint, diagnostics));
        ASSERT_TRUE(m) << c.metadata;
        EXPECT_EQ(exthString(m.get(), EXTH_FIXEDLAYOUT) + " " + exthString(m.get(), EXTH_ORIGRESOLUTION) + " " +
                      exthString(m.get(), EXTH_PAGEDIR),
                  c.exth);
        const MobiRawml rawml = parseRawml(m.get());
        ASSERT_TRUE(rawml);
        ASSERT_EQ(partList(rawml->markup).size(), 3u) << c.metadata;
        const std::string written = "<meta name=\"viewport\" content=\"" + c.pageViewport + "\"/>";
        for (const MOBIPart* p : partList(rawml->markup))
            EXPECT_EQ(partText(p).find(c.pageViewport.empty() ? "name=\"viewport\"" : written) != std::string::npos,
                      !c.pageViewport.empty())
                << partText(p);
    }
}

}  // namespace
