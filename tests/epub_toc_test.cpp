#include "mobigen/source/epub_toc.h"
#include "mobigen/book.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

// Each entry as "depth title -> path#fragment".
std::vector<std::string> described(const std::vector<EpubTocEntry>& entries) {
    std::vector<std::string> lines;
    for (const auto& e : entries)
        lines.push_back(std::to_string(e.depth) + " " + e.title + " -> " + e.path + "#" + e.fragment);
    return lines;
}

}  // namespace

TEST(EpubToc, NcxNestingGivesDepthAndPathsAreResolved) {
    const auto entries = readNcxToc(
        "<?xml version=\"1.0\"?><ncx "
        "xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><docTitle><text>Book</text></docTitle>"
        "<navMap><navPoint id=\"a\"><navLabel><text>Part  One</text></navLabel><content src=\"Text/p1.xhtml\"/>"
        "<navPoint id=\"b\"><navLabel><text>Ch &amp; 1</text></navLabel><content "
        "src=\"Text/c%201.xhtml#s%E4%B8%80\"/></navPoint>"
        "</navPoint><navPoint id=\"c\"><navLabel><text>Web</text></navLabel><content src=\"http://x.org/\"/></navPoint>"
        "<navPoint id=\"d\"><navLabel><text>Two</text></navLabel><content "
        "src=\"../p2.xhtml\"/></navPoint></navMap></ncx>",
        "OEBPS/toc.ncx");
    EXPECT_EQ(described(entries),
              (std::vector<std::string>{"0 Part One -> OEBPS/Text/p1.xhtml#", u8"1 Ch & 1 -> OEBPS/Text/c 1.xhtml#s一",
                                        "0 Two -> p2.xhtml#"}));
}

TEST(EpubToc, NavTakesTheTocNotTheLandmarks) {
    const auto entries = readNavToc(
        "<html xmlns:epub=\"http://www.idpf.org/2007/ops\"><body>"
        "<nav epub:type=\"landmarks\"><ol><li><a href=\"cover.xhtml\">Cover</a></li></ol></nav>"
        "<nav epub:type=\"toc\" id=\"toc\"><h1>Contents</h1><ol>"
        "<li><a href=\"xhtml/one.xhtml\">One <em>!</em></a><ol><li><a "
        "href=\"xhtml/one.xhtml#s1\">Sub</a></li></ol></li>"
        "<li><span>Heading only</span><ol><li><a href=\"two.xhtml\">Two</a></li></ol></li>"
        "</ol></nav></body></html>",
        "EPUB/nav.xhtml");
    EXPECT_EQ(described(entries),
              (std::vector<std::string>{"0 One ! -> EPUB/xhtml/one.xhtml#", "1 Sub -> EPUB/xhtml/one.xhtml#s1",
                                        "1 Two -> EPUB/two.xhtml#"}));
}

TEST(EpubToc, MalformedFilesThrow) {
    EXPECT_THROW(readNcxToc("<ncx><navMap><navPoint></navMap></ncx>", "toc.ncx"), ConversionError);
    EXPECT_THROW(readNavToc("<html><nav><ol><li></ol></nav></html>", "nav.xhtml"), ConversionError);
}
