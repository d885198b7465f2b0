#include "mobigen/flow/html_reducer.h"

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
    std::string body;  // before the flow builder wraps it and fills in link targets
    Book book;
    Diagnostics diagnostics;
    std::vector<std::string> headings;
};

Reduced reduce(std::string_view html) {
    FlowBuilder flow;
    FakeHooks hooks;
    Reduced result;
    flow.mark("doc");
    reduceHtmlDocument(html, flow, hooks, result.diagnostics, "ch1.xhtml");
    result.body = flow.body();
    flow.finish(result.book, "Contents", result.diagnostics);
    result.headings = hooks.headings;
    return result;
}

}  // namespace

TEST(HtmlReducer, KeepsWhatReadersRenderBalancedAndEscaped) {
    const std::pair<const char*, const char*> cases[] = {
        {"<html><head><title>T</title><style>p{}</style><link rel=stylesheet href=a.css></head>"
         "<body class=\"b\"><h1 class=\"x\" align=\"center\">Head</h1>"
         "<p style=\"color:red; text-align: right\" class=\"c\">a <span>b</span> <em>c</em></p>"
         "<table border=\"1\" summary=\"s\"><tr><td colspan=\"2\" onclick=\"x()\">d</td></tr></table>"
         "<font size=\"2\" color=\"red\">e</font><mbp:pagebreak/><br><hr></body></html>",
         "<h1 align=\"center\">Head</h1><p align=\"right\">a b <em>c</em></p>"
         "<table border=\"1\"><tr><td colspan=\"2\">d</td></tr></table>"
         "<font size=\"2\" color=\"red\">e</font><mbp:pagebreak/><br/><hr/>"},
        {"<section><center>c</center><cite>t</cite><del>x</del><dl><dt>k</dt><dd>v</dd></dl></section>",
         "<div><div align=\"center\">c</div><i>t</i><s>x</s><div><div>k</div><blockquote>v</blockquote></div></div>"},
        {"<p align='a\"b'>1 &lt; 2 &amp;&amp; x > y &quot;q&quot; &mdash;</p>",
         u8"<p align=\"a&quot;b\">1 &lt; 2 &amp;&amp; x &gt; y \"q\" \u2014</p>"},
        {"<b>bold<i>both</b>after</i></u>", "<b>bold<i>both</i></b>after"},
        {"<p>one<p>two<ul><li>a<li>b</ul>", "<p>one</p><p>two</p><ul><li>a</li><li>b</li></ul>"},
        {"<table><tr><td>1<td>2<tr><td>3</table>", "<table><tr><td>1</td><td>2</td></tr><tr><td>3</td></tr></table>"},
        {"<div><em>open", "<div><em>open</em></div>"},
        {"<div/>x", "<div></div>x"},
        // An unclosed head or svg does not swallow the body.
        {"<html><head><title>t</title><body><p>text</p>", "<p>text</p>"},
        {"<body><svg><rect/><p>lost</p></body><p>after</p>", "<p>after</p>"},
        // Images become records, a missing one disappears, an SVG-wrapped cover is kept.
        {"<img src=\"a.jpg\" width=\"10\" class=\"c\"><img src=\"missing.png\">"
         "<svg xmlns:xlink=\"http://www.w3.org/1999/xlink\"><image width=\"5\" xlink:href=\"cover.jpg\"/></svg>",
         "<img recindex=\"00001\" width=\"10\"/><img recindex=\"00002\" width=\"5\"/>"},
    };
    for (const auto& [html, expected] : cases) EXPECT_EQ(reduce(html).body, expected) << html;
}

TEST(HtmlReducer, DropsScriptsFormsMediaAndSvgWithOneWarning) {
    const auto r = reduce(
        "<p>a</p><script>alert('<p>x</p>')</script><form><input name=q><button>Go</button>keep</form>"
        "<video src=v.mp4><p>fallback</p></video><svg><svg><text>s</text></svg></svg><script></script><p>b</p>");
    EXPECT_EQ(r.body, "<p>a</p>keep<p>b</p>");
    ASSERT_EQ(r.diagnostics.warnings.size(), 1u);
    for (const char* counted : {"ch1.xhtml", "2 script", "1 video", "1 svg", "1 form"})
        EXPECT_NE(r.diagnostics.warnings[0].find(counted), std::string::npos) << r.diagnostics.warnings[0];
}

TEST(HtmlReducer, RewritesLinksAndMarksTargetsOnTheirTags) {
    const Reduced r = reduce(
        "<h1>One <i>x</i></h1><h4>skip</h4><p><a href=\"#n1\">go</a> <a href=\"http://x.org/?a&amp;b\">web</a> "
        "<a href=\"mailto:x\">mail</a></p><p id=\"n1\">target</p><span id=\"s\">in span</span><h3>Three");
    const std::string& f = r.book.flow;
    const std::size_t link = f.find("<a filepos=");
    ASSERT_NE(link, std::string::npos);
    EXPECT_EQ(f.substr(std::stoul(f.substr(link + 11, 10)), 13), "<p>target</p>");
    EXPECT_NE(f.find("<a href=\"http://x.org/?a&amp;b\">web</a>"), std::string::npos);
    EXPECT_NE(f.find(" <a>mail</a></p>"), std::string::npos);  // what the book cannot follow stays text
    EXPECT_NE(f.find("<a></a>in span"), std::string::npos);
    EXPECT_EQ(r.headings, (std::vector<std::string>{"1:One x", "3:Three"}));
}
