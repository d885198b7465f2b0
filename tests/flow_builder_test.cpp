#include "mobigen/mobi6/flow_builder.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

std::uint32_t fileposAt(const std::string& flow, std::size_t linkAt) {
    return static_cast<std::uint32_t>(std::stoul(flow.substr(linkAt + 8, 10)));
}

Book finished(FlowBuilder& flow, Diagnostics& diagnostics) {
    Book book;
    flow.finish(book, "Contents", diagnostics);
    return book;
}

}  // namespace

TEST(FlowBuilder, WithoutContentsTheGuideHasOnlyTheStartAndLinksFallBack) {
    FlowBuilder flow;
    flow.append("<p>");
    flow.mark("doc");
    flow.append("<a ");
    flow.appendFilepos({"doc#missing", "doc"});  // to the document
    flow.append("></a><a ");
    flow.appendFilepos({"nowhere", "nowhere-either"});  // to the start, with a warning
    flow.append("></a></p>");
    flow.endDocument();
    Diagnostics diagnostics;
    const Book book = finished(flow, diagnostics);
    const std::string head =
        "<html><head><guide><reference type=\"text\" title=\"Start\" filepos=0000000098 /></guide></head><body>";
    EXPECT_EQ(book.flow,
              head + "<p><a filepos=0000000101></a><a filepos=0000000098></a></p><mbp:pagebreak/></body></html>");
    EXPECT_EQ(book.startOffset, head.size());
    EXPECT_TRUE(book.toc.empty());
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_NE(diagnostics.warnings[0].find("nowhere"), std::string::npos);
}

TEST(FlowBuilder, ContentsPageLinksEveryEntryAndTheGuidePointsAtIt) {
    FlowBuilder flow;
    flow.mark("a");
    flow.append("<h2>A</h2>text");
    flow.mark("b");
    flow.append("<h3>B</h3>");
    flow.endDocument();
    flow.addTocEntry("A & co", {"a", {}}, 0);
    flow.addTocEntry("B", {"b", {}}, 1);
    Diagnostics diagnostics;
    const Book book = finished(flow, diagnostics);
    const std::string& f = book.flow;
    const std::size_t tocRef = f.find("type=\"toc\" title=\"Table of Contents\" filepos=");
    ASSERT_NE(tocRef, std::string::npos);
    EXPECT_EQ(f.substr(fileposAt(f, f.find("filepos=", tocRef)), 17), "<h2>Contents</h2>");
    EXPECT_LT(tocRef, f.find("type=\"text\""));

    ASSERT_EQ(book.toc.size(), 2u);
    EXPECT_EQ(f.substr(book.toc[0].filepos, 10), "<h2>A</h2>");
    EXPECT_EQ(f.substr(book.toc[1].filepos, 10), "<h3>B</h3>");
    EXPECT_EQ(book.toc[1].depth, 1);
    EXPECT_EQ(book.startOffset, book.toc[0].filepos);
    EXPECT_EQ(fileposAt(f, f.find("<a filepos=") + 3), book.toc[0].filepos);
    EXPECT_NE(f.find(">A &amp; co</a>"), std::string::npos);
    EXPECT_LT(f.find("<mbp:pagebreak/>"), book.startOffset);
}
