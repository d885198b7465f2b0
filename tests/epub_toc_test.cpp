#include "mobigen/source/epub_toc.h"
#include "mobigen/book.h"

#include <gtest/gtest.h>

using namespace mobigen;

// NCX nesting and its paths are read in reader_test's sample book.
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
    std::vector<std::string> described;  // depth title -> path#fragment
    for (const auto& e : entries)
        described.push_back(std::to_string(e.depth) + " " + e.title + " -> " + e.path + "#" + e.fragment);
    EXPECT_EQ(described, (std::vector<std::string>{"0 One ! -> EPUB/xhtml/one.xhtml#",
                                                   "1 Sub -> EPUB/xhtml/one.xhtml#s1", "1 Two -> EPUB/two.xhtml#"}));
}

TEST(EpubToc, MalformedFilesThrow) {
    EXPECT_THROW(readNcxToc("<ncx><navMap><navPoint></navMap></ncx>", "toc.ncx"), ConversionError);
    EXPECT_THROW(readNavToc("<html><nav><ol><li></ol></nav></html>", "nav.xhtml"), ConversionError);
}
