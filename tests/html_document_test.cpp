#include "convert/html_document.h"

#include <gtest/gtest.h>

TEST(HtmlDocument, RendersTitleAndLinesWithNothingBetween) {
    HtmlDocument document;
    EXPECT_EQ(document.toHtml(), "<html><head><title></title></head><body></body></html>");
    document.title = "T";
    document.addElement(std::make_unique<TextLineElement>("abc"));
    document.addElement(nullptr);
    document.addElement(std::make_unique<HtmlElement>());
    document.addElement(std::make_unique<TextLineElement>(""));
    document.addElement(std::make_unique<TextLineElement>("x<y&z"));
    EXPECT_EQ(document.toHtml(), "<html><head><title>T</title></head><body>abc<br><br>x<y&z<br></body></html>");
}
