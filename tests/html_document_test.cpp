#include "convert/html_document.h"

#include <gtest/gtest.h>

namespace {

class Counted : public HtmlElement {
public:
    explicit Counted(int& alive) : alive_(alive) { ++alive_; }
    ~Counted() override { --alive_; }

private:
    int& alive_;
};

}  // namespace

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

TEST(HtmlDocument, OwnsAndDestroysItsElements) {
    int alive = 0;
    {
        HtmlDocument document;
        for (int i = 0; i < 3; ++i) document.addElement(std::make_unique<Counted>(alive));
        EXPECT_EQ(alive, 3);
    }
    EXPECT_EQ(alive, 0);
}
