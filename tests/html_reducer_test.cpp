#include "mobigen/html_reducer.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

class FakeHooks : public ReducerHooks {
public:
    std::size_t imageRecord(std::string_view src) override { return src == "missing.png" ? 0 : ++images; }
    LinkResolution resolveLink(std::string_view href) override {
        if (href.substr(0, 5) == "http:") return {LinkResolution::Kind::External, std::string(href), {}};
        if (href[0] == '#') return {LinkResolution::Kind::Internal, {}, {anchorKey(href.substr(1)), "doc"}};
        return {};
    }
    std::string anchorKey(std::string_view id) override { return "doc#" + std::string(id); }
    void heading(int level, const std::string& text, const std::string&) override {
        headings.push_back(std::to_string(level) + ":" + text);
    }
    std::size_t images = 0;
    std::vector<std::string> headings;
};

struct Reduced {
    std::string body;
    Diagnostics diagnostics;
};

Reduced reduce(std::string_view html) {
    FlowBuilder flow;
    FakeHooks hooks;
    Reduced result;
    reduceHtmlDocument(html, flow, hooks, result.diagnostics, "ch1.xhtml");
    result.body = flow.body();
    return result;
}

}  // namespace

TEST(HtmlReducer, KeepsRenderableMarkupAndItsUsefulAttributes) {
    const auto r = reduce(
        "<html><head><title>T</title><style>p{}</style><link rel=stylesheet href=a.css></head>"
        "<body class=\"b\"><h1 class=\"x\" align=\"center\">Head</h1>"
        "<p style=\"color:red; text-align: right\" class=\"c\">a <span>b</span> <em>c</em></p>"
        "<table border=\"1\" summary=\"s\"><tr><td colspan=\"2\" onclick=\"x()\">d</td></tr></table>"
        "<font size=\"2\" color=\"red\">e</font><mbp:pagebreak/><br><hr></body></html>");
    EXPECT_EQ(r.body,
              "<h1 align=\"center\">Head</h1><p align=\"right\">a b <em>c</em></p>"
              "<table border=\"1\"><tr><td colspan=\"2\">d</td></tr></table>"
              "<font size=\"2\" color=\"red\">e</font><mbp:pagebreak/><br/><hr/>");
    EXPECT_TRUE(r.diagnostics.warnings.empty());
}

TEST(HtmlReducer, MapsStructuralAndPhraseElementsToWhatReadersKnow) {
    EXPECT_EQ(reduce("<section><center>c</center><cite>t</cite><del>x</del><dl><dt>k</dt><dd>v</dd></dl></section>").body,
              "<div><div align=\"center\">c</div><i>t</i><s>x</s><div><div>k</div><blockquote>v</blockquote></div></div>");
}

TEST(HtmlReducer, EscapesDecodedTextAndAttributes) {
    EXPECT_EQ(reduce("<p align='a\"b'>1 &lt; 2 &amp;&amp; x > y &quot;q&quot; &mdash;</p>").body,
              u8"<p align=\"a&quot;b\">1 &lt; 2 &amp;&amp; x &gt; y \"q\" \u2014</p>");
}

TEST(HtmlReducer, DropsScriptsFormsMediaAndSvgWithOneWarning) {
    const auto r = reduce(
        "<p>a</p><script>alert('<p>x</p>')</script><form><input name=q><button>Go</button>keep</form>"
        "<video src=v.mp4><p>fallback</p></video><svg><svg><text>s</text></svg></svg><script></script><p>b</p>");
    EXPECT_EQ(r.body, "<p>a</p>keep<p>b</p>");
    ASSERT_EQ(r.diagnostics.warnings.size(), 1u);
    const std::string& w = r.diagnostics.warnings[0];
    EXPECT_NE(w.find("ch1.xhtml"), std::string::npos);
    EXPECT_NE(w.find("2 script"), std::string::npos);
    EXPECT_NE(w.find("1 video"), std::string::npos);
    EXPECT_NE(w.find("1 svg"), std::string::npos);
    EXPECT_NE(w.find("1 form"), std::string::npos);
}

TEST(HtmlReducer, BalancesMalformedMarkup) {
    EXPECT_EQ(reduce("<b>bold<i>both</b>after</i></u>").body, "<b>bold<i>both</i></b>after");
    EXPECT_EQ(reduce("<p>one<p>two<ul><li>a<li>b</ul>").body, "<p>one</p><p>two</p><ul><li>a</li><li>b</li></ul>");
    EXPECT_EQ(reduce("<table><tr><td>1<td>2<tr><td>3</table>").body,
              "<table><tr><td>1</td><td>2</td></tr><tr><td>3</td></tr></table>");
    EXPECT_EQ(reduce("<div><em>open").body, "<div><em>open</em></div>");
    EXPECT_EQ(reduce("<div/>x<a id=\"n\"/>").body, "<div></div>x<a></a>");
}

TEST(HtmlReducer, UnclosedHeadOrSvgDoesNotSwallowTheBody) {
    EXPECT_EQ(reduce("<html><head><title>t</title><body><p>text</p>").body, "<p>text</p>");
    EXPECT_EQ(reduce("<body><svg><rect/><p>lost</p></body><p>after</p>").body, "<p>after</p>");
}

TEST(HtmlReducer, RewritesImagesAndKeepsTheSvgWrappedCover) {
    const auto r = reduce(
        "<img src=\"a.jpg\" width=\"10\" class=\"c\"><img src=\"missing.png\">"
        "<svg xmlns:xlink=\"http://www.w3.org/1999/xlink\"><image width=\"5\" xlink:href=\"cover.jpg\"/></svg>");
    EXPECT_EQ(r.body, "<img recindex=\"00001\" width=\"10\"/><img recindex=\"00002\" width=\"5\"/>");
}

TEST(HtmlReducer, RewritesLinksAndMarksTargetsOnTheirTags) {
    FlowBuilder flow;
    FakeHooks hooks;
    Diagnostics diagnostics;
    flow.mark("doc");
    reduceHtmlDocument("<body><p><a href=\"#n1\">go</a> <a href=\"http://x.org/?a&amp;b\">web</a> "
                       "<a href=\"javascript:evil()\">js</a> <a href=\"#nowhere\">lost</a></p>"
                       "<p id=\"n1\">target</p><span id=\"s\">in span</span></body>",
                       flow, hooks, diagnostics, "ch1.xhtml");
    Book book;
    flow.finish(book, "Contents", diagnostics);
    const std::string& f = book.flow;
    const std::size_t first = f.find("<a filepos=");
    ASSERT_NE(first, std::string::npos);
    const auto target = static_cast<std::size_t>(std::stoul(f.substr(first + 11, 10)));
    EXPECT_EQ(f.substr(target, 13), "<p>target</p>");
    EXPECT_NE(f.find("<a href=\"http://x.org/?a&amp;b\">web</a>"), std::string::npos);
    EXPECT_NE(f.find(" <a>js</a> "), std::string::npos);
    // An unknown fragment falls back to the document's start.
    const std::size_t second = f.find("<a filepos=", first + 1);
    EXPECT_EQ(std::stoul(f.substr(second + 11, 10)), book.startOffset);
    EXPECT_NE(f.find("<a></a>in span"), std::string::npos);
}

TEST(HtmlReducer, ReportsHeadingsForATableOfContents) {
    FlowBuilder flow;
    FakeHooks hooks;
    Diagnostics diagnostics;
    reduceHtmlDocument("<h1>One <i>x</i></h1><h4>skip</h4><h2>Two</h2><h3>Three", flow, hooks, diagnostics, "d");
    EXPECT_EQ(hooks.headings, (std::vector<std::string>{"1:One x", "2:Two", "3:Three"}));
}
