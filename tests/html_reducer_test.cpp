#include "mobigen/mobi6/html_reducer.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mobigen;

namespace {

class FakeHooks : public ReducerHooks {
public:
    std::size_t imageRecord(std::string_view src) override { return src == "missing.png" ? 0 : ++images; }
    LinkResolution resolveLink(std::string_view href) override {
        if (href[0] == '#') return {LinkResolution::Kind::Internal, {}, {anchorKey(href.substr(1)), "doc"}};
        return {};
    }
    std::string anchorKey(std::string_view id) override { return "doc#" + std::string(id); }
    std::string stylesheet(std::string_view href) override {
        return href == "notes.css" ? "@media screen { p a.fn, .other { vertical-align: 0.4em } }" : "";
    }
    std::string language() override { return bookLanguage; }
    std::string bookLanguage;
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

Reduced reduce(std::string_view html, const std::string& bookLanguage = "") {
    FlowBuilder flow;
    FakeHooks hooks;
    hooks.bookLanguage = bookLanguage;
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
        // An unclosed svg does not swallow the body.
        {"<body><svg><rect/><p>lost</p></body><p>after</p>", "<p>after</p>"},
        // Images become records, a missing one disappears, an SVG-wrapped cover is kept.
        {"<img src=\"a.jpg\" width=\"10\" class=\"c\"><img src=\"missing.png\">"
         "<svg xmlns:xlink=\"http://www.w3.org/1999/xlink\"><image width=\"5\" xlink:href=\"cover.jpg\"/></svg>",
         "<img recindex=\"00001\" width=\"10\"/><img recindex=\"00002\" width=\"5\"/>"},
    };
    for (const auto& [html, expected] : cases) EXPECT_EQ(reduce(html).body, expected) << html;
}

// Links and headings are read in reader_test's HTML book.
TEST(HtmlReducer, NoteReferencesBecomeSuperscriptsThatStillLink) {
    const std::pair<const char*, const char*> cases[] = {
        {"<p>cold.<a href=\"#n\" epub:type=\"noteref\">48</a> I</p>",
         "<p>cold.<sup><a filepos=0000000000>48</a></sup> I</p>"},
        {"<p><a href=\"#n\" role=\"doc-noteref\"><sup>2</sup></a></p>",
         "<p><sup><a filepos=0000000000>2</a></sup></p>"},
        {"<p><sup><a href=\"#n\" epub:type=\"noteref\">3</a></sup></p>",
         "<p><sup><a filepos=0000000000>3</a></sup></p>"},
        {"<style>/* a.x {} */ .nr, span.up { font-size: 70%; vertical-align : super !important }</style>"
         "<p>a<a class=\"c nr\" href=\"#n\">4</a>b<span class=\"up\">5</span>c</p>",
         "<p>a<sup><a filepos=0000000000>4</a></sup>b<sup>5</sup>c</p>"},
        {"<link rel=\"stylesheet\" href=\"notes.css\"><p><a class=\"fn\" href=\"#n\">6</a>"
         "<span style=\"vertical-align: -0.3em\">low</span><span class=\"other\">7</span></p>",
         "<p><sup><a filepos=0000000000>6</a></sup>low<sup>7</sup></p>"},
        {"<style>p::before { content: \"/*\" } .up { vertical-align: super }</style><p><span class=\"up\">8</span></p>",
         "<p><sup>8</sup></p>"},
        {"<style>.nr a { vertical-align: super }</style><p class=\"nr\"><a href=\"#n\">plain</a></p>",
         "<p><a filepos=0000000000>plain</a></p>"},
    };
    for (const auto& [html, expected] : cases) EXPECT_EQ(reduce(html).body, expected) << html;

    const Reduced r = reduce("<h2>January 1659-60<a href=\"#n\" epub:type=\"noteref\">47</a></h2><p id=\"n\">x</p>");
    EXPECT_EQ(r.headings, std::vector<std::string>{"2:January 1659-60"});
    EXPECT_EQ(r.book.flow.substr(std::stoul(r.book.flow.substr(r.book.flow.find("<a filepos=") + 11, 10)), 8),
              "<p>x</p>");
}

TEST(HtmlReducer, KeepsFallbacksRubyParenthesesAndQuotationMarks) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"<object data=\"f.svg\" type=\"image/svg+xml\"><h3>Fig. 1</h3><p>Caption</p></object>", "",
         "<h3>Fig. 1</h3><p>Caption</p>"},
        {"<object data=\"f.png\"><p>fallback</p></object><p>after</p>", "", "<img recindex=\"00001\"/><p>after</p>"},
        {u8"<ruby>山路<rp>(</rp><rt>やまみち</rt><rp>)</rp></ruby>", "", u8"山路(やまみち)"},
        {"<p><q>Go <q>now</q>.</q></p>", "en", u8"<p>\u201CGo \u2018now\u2019.\u201D</p>"},
        {"<html lang=\"ja\"><body><q>a<q>b</q></q>", "", u8"\u300Ca\u300Eb\u300F\u300D"},
        {"<html lang=\"ja\"><body><q>a</q>", "zh-TW", u8"\u300Ca\u300D"},
        {"<q>a</q>", "zh-Hans-CN", u8"\u201Ca\u201D"},
        {"<q>a</q>", "zh_TW", u8"\u300Ca\u300D"},
        {"<svg><image href=\"cover.jpeg\"/></svg>", "", "<img recindex=\"00001\"/>"},
    };
    for (const auto& [html, language, expected] : cases) {
        const Reduced r = reduce(html, language);
        EXPECT_EQ(r.body, expected) << html;
        EXPECT_TRUE(r.diagnostics.warnings.empty()) << html;
    }
}

TEST(HtmlReducer, SvgDocumentsBecomeTheirPicturesAndText) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"<svg><title>t</title><image xlink:href=\"p.jpg\"/></svg>",
         "<div align=\"center\"><img recindex=\"00001\"/></div>", true},
        {"<svg><text x=\"1\">The <tspan>End</tspan></text><text>&amp; after</text></svg>",
         "<p>The End</p><p>&amp; after</p>", true},
        {"<svg><rect/><style>.a{}</style></svg>", "", false},
    };
    for (const auto& [svg, expected, shown] : cases) {
        FlowBuilder flow;
        FakeHooks hooks;
        EXPECT_EQ(reduceSvgDocument(svg, 0, flow, hooks), shown) << svg;
        EXPECT_EQ(flow.body(), expected) << svg;
    }
}
