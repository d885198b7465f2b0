#include "mobigen/book.h"
#include "mobigen/epub_toc.h"

#include <gtest/gtest.h>

using namespace mobigen;

TEST(EpubToc, NcxNestingGivesDepthAndPathsAreResolved) {
    const auto entries = readNcxToc(
        "<?xml version=\"1.0\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><docTitle><text>Book</text></docTitle>"
        "<navMap><navPoint id=\"a\"><navLabel><text>Part  One</text></navLabel><content src=\"Text/p1.xhtml\"/>"
        "<navPoint id=\"b\"><navLabel><text>Ch &amp; 1</text></navLabel><content src=\"Text/c%201.xhtml#s%E4%B8%80\"/></navPoint>"
        "</navPoint><navPoint id=\"c\"><navLabel><text>Web</text></navLabel><content src=\"http://x.org/\"/></navPoint>"
        "<navPoint id=\"d\"><navLabel><text>Two</text></navLabel><content src=\"../p2.xhtml\"/></navPoint></navMap></ncx>",
        "OEBPS/toc.ncx");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].title, "Part One");
    EXPECT_EQ(entries[0].path, "OEBPS/Text/p1.xhtml");
    EXPECT_EQ(entries[0].depth, 0);
    EXPECT_EQ(entries[1].title, "Ch & 1");
    EXPECT_EQ(entries[1].path, "OEBPS/Text/c 1.xhtml");
    EXPECT_EQ(entries[1].fragment, u8"s一");
    EXPECT_EQ(entries[1].depth, 1);
    EXPECT_EQ(entries[2].path, "p2.xhtml");
}

TEST(EpubToc, NavTakesTheTocNotTheLandmarks) {
    const auto entries = readNavToc(
        "<html xmlns:epub=\"http://www.idpf.org/2007/ops\"><body>"
        "<nav epub:type=\"landmarks\"><ol><li><a href=\"cover.xhtml\">Cover</a></li></ol></nav>"
        "<nav epub:type=\"toc\" id=\"toc\"><h1>Contents</h1><ol>"
        "<li><a href=\"xhtml/one.xhtml\">One <em>!</em></a><ol><li><a href=\"xhtml/one.xhtml#s1\">Sub</a></li></ol></li>"
        "<li><span>Heading only</span><ol><li><a href=\"two.xhtml\">Two</a></li></ol></li>"
        "</ol></nav></body></html>",
        "EPUB/nav.xhtml");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].title, "One !");
    EXPECT_EQ(entries[0].path, "EPUB/xhtml/one.xhtml");
    EXPECT_EQ(entries[1].fragment, "s1");
    EXPECT_EQ(entries[1].depth, 1);
    EXPECT_EQ(entries[2].path, "EPUB/two.xhtml");
    EXPECT_EQ(entries[2].depth, 1);
}

TEST(EpubToc, MalformedFilesThrow) {
    EXPECT_THROW(readNcxToc("<ncx><navMap><navPoint></navMap></ncx>", "toc.ncx"), ConversionError);
    EXPECT_THROW(readNavToc("<html><nav><ol><li></ol></nav></html>", "nav.xhtml"), ConversionError);
}
