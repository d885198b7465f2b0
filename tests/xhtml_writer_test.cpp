#include "mobigen/kf8/xhtml_writer.h"

#include "mobigen/book.h"
#include "mobigen/source/xml.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

// Addresses that show which hook made them.
class EchoHooks : public XhtmlHooks {
public:
    std::optional<XhtmlImage> image(std::string_view src) override {
        if (src == "gone.png") return std::nullopt;
        if (src == "v.svg") return XhtmlImage{{}, "<svg xmlns=\"http://www.w3.org/2000/svg\"/>"};
        return XhtmlImage{"I:" + std::string(src), {}};
    }
    std::optional<std::string> link(std::string_view href) override {
        if (href.substr(0, 1) != "#") return std::nullopt;
        return "L" + std::string(href);
    }
    std::optional<std::string> stylesheet(std::string_view href) override { return "S:" + std::string(href); }
    std::string style(std::string_view css, bool, bool) override { return css == "bad" ? "" : std::string(css); }
};

// The body's content of the document written for `html`.
std::string written(const std::string& html) {
    EchoHooks hooks;
    const std::string document = writeXhtmlDocument(html, hooks, false).document;
    const std::size_t open = document.find('>', document.find("<body")) + 1;
    return document.substr(open, document.rfind("</body>") - open);
}

}  // namespace

TEST(XhtmlWriter, NestsAsXhtml11Allows) {
    const std::pair<const char*, const char*> cases[] = {
        {"<p>a<br>b</p>", "<p>a<br/>b</p>"},
        {"x<p>y</p>", "<div>x<p>y</p></div>"},
        {"<p>a<div>b</div></p>", "<p>a</p><div>b</div>"},
        {"<p><span>a<div>b</div></span></p>",
         "<p><span>a<span class=\"tag-div\" style=\"display: block\">b</span></span></p>"},
        {"<section id=\"s\"><p>x</p></section>", "<div id=\"s\" class=\"tag-section\"><p>x</p></div>"},
        {"<li>a</li>", "<div class=\"tag-li\">a</div>"},
        {"<ul>x<li>y<li>z</ul>", "<ul><li>x</li><li>y</li><li>z</li></ul>"},
        {"<table><td>a</td></table>", "<table><tr><td>a</td></tr></table>"},
        {"<ul></ul><blockquote>q</blockquote>", "<blockquote><div>q</div></blockquote>"},
        {"<p><a href=\"#a\">1<a href=\"#b\">2</a></a></p>", "<p><a href=\"L#a\">1</a><a href=\"L#b\">2</a></p>"},
        {"<p><ruby>漢<rt>kan</rt></ruby></p>", "<p><ruby>漢<rt>kan</rt></ruby></p>"},
        {"<div><u>u</u></div>", "<div><span class=\"tag-u\" style=\"text-decoration: underline\">u</span></div>"},
    };
    for (const auto& [html, xhtml] : cases) EXPECT_EQ(written(html), xhtml) << html;
    // A list item deep in unclosed inline elements still closes them all and starts its own.
    std::string deep = "<ul><li>", closes;
    for (int i = 0; i < 100; ++i) deep += "<b>", closes += "</b>";
    EXPECT_EQ(written(deep + "x<li>y</ul>"), deep + "x" + closes + "</li><li>y</li></ul>");
}

TEST(XhtmlWriter, KeepsOnlyWhatXhtml11AndTheBookCanUse) {
    const std::pair<const char*, const char*> cases[] = {
        {"<p id=\"1a\">x</p><p id=\"1a\">y</p>", "<p id=\"id_1a\">x</p><p>y</p>"},
        {"<p>a &amp; &lt; \x01 \xEF\xBF\xBF.</p>", "<p>a &amp; &lt;  .</p>"},
        {"<p align=\"center\" data-x=\"1\" epub:type=\"z\" lang=\"en\" onclick=\"f()\">x</p>",
         "<p xml:lang=\"en\" style=\"text-align: center\">x</p>"},
        {"<p style=\"bad\"><a name=\"n\" href=\"http://x\">w</a></p>", "<p><a id=\"n\">w</a></p>"},
        {"<img src=\"a.png\" width=\"5\" height=\"x\"><img src=\"gone.png\"><img src=\"v.svg\">",
         "<div><img src=\"I:a.png\" alt=\"\" width=\"5\"/><svg xmlns=\"http://www.w3.org/2000/svg\"/></div>"},
        {"<svg viewbox=\"0 0 1 1\" onload=\"x\"><lineargradient/><image xlink:href=\"c.jpg\"/><script>s</script></svg>",
         "<div><svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" viewBox=\"0 0 1 "
         "1\"><linearGradient/><image xlink:href=\"I:c.jpg\"/></svg></div>"},
        {"", "<div></div>"},
    };
    for (const auto& [html, xhtml] : cases) EXPECT_EQ(written(html), xhtml) << html;
}

TEST(XhtmlWriter, MessyHtmlBecomesAWellFormedDocument) {
    const std::string html =
        "<html lang=zh><head><title>T &amp; t</title><link rel=stylesheet href=a.css><style>p{}</style>"
        "<script>if (a < b) x();</script></head><body class=c><h1>One<h2>Two</h2><table><tr><td><p>cell"
        "<dl><dt>t<dd><p>d</dl><ol><li><ul><li>deep</ol><p>unclosed <b>bold <i>both</b> tail";
    EchoHooks hooks;
    const XhtmlResult result = writeXhtmlDocument(html, hooks, true);
    EXPECT_NO_THROW(parseXml(result.document, "written")) << result.document;
    EXPECT_NE(result.document.find("<title>T &amp; t</title><link href=\"S:a.css\" rel=\"stylesheet\" "
                                   "type=\"text/css\"/><style type=\"text/css\">\np{}</style>"),
              std::string::npos)
        << result.document;
    EXPECT_NE(result.document.find("<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"zh\">"), std::string::npos);
    EXPECT_NE(result.document.find("<body class=\"c\">"), std::string::npos);
    ASSERT_EQ(result.headings.size(), 2u);
    EXPECT_EQ(result.headings[0].text, "One");
    EXPECT_EQ(result.headings[1].id, "kf8-heading-2");
    EXPECT_NE(result.document.find("<h2 id=\"kf8-heading-2\">Two</h2>"), std::string::npos);
}
