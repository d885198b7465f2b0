// Random markup is the fuzz target's job (fuzz/html_tokenizer_fuzz.cpp); escaping is checked
// by the reducer's tests, which use it.
#include "mobigen/text/html_tokenizer.h"
#include "mobigen/text/entities.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

// Text tokens joined, tags as "<name attribute=value ...>" / "</name>", comments and CDATA as
// written, doctypes and processing instructions left out.
std::string summary(std::string_view html) {
    std::string out;
    HtmlTokenizer tokenizer(html);
    for (HtmlToken t; tokenizer.next(t);) {
        if (t.kind == HtmlTokenKind::Text) out += t.text;
        if (t.kind == HtmlTokenKind::StartTag) {
            out += "<" + t.name;
            for (const auto& a : t.attributes) out += " " + a.name + "=" + a.value;
            out += t.selfClosing ? "/>" : ">";
        }
        if (t.kind == HtmlTokenKind::EndTag) out += "</" + t.name + ">";
        if (t.kind == HtmlTokenKind::Comment) out += "<!--" + t.text + "-->";
        if (t.kind == HtmlTokenKind::CData) out += "<![CDATA[" + t.text + "]]>";
    }
    return out;
}

}  // namespace

TEST(HtmlTokenizer, ReadsAttributesInEveryQuotingStyleAndLeavesStrayBracketsAndRawBodiesAsText) {
    const std::pair<const char*, const char*> cases[] = {
        // The first of two attributes of a name wins.
        {"<P Align=center TITLE='a \"b\"' data-x=\"1 &amp; 2\" hidden CLASS=x class=y><br/></p>",
         "<p align=center title=a \"b\" data-x=1 & 2 hidden= class=x><br/></p>"},
        {"a < b, x<3 and 1 <= 2 </ > <", "a < b, x<3 and 1 <= 2 </ > <"},
        {"<p>ok</p><a href=\"x", "<p>ok</p><a href=\"x"},
        {"<b>bold<i", "<b>bold<i"},
        {"x<!-- never closed <p>", "x<!-- never closed <p>-->"},
        {"<!--a<b>--><![CDATA[x&amp;<y>]]>c", "<!--a<b>--><![CDATA[x&amp;<y>]]>c"},
        {"<script>if (a<b) s=\"</div>&amp;\";</SCRIPT>after", "<script>if (a<b) s=\"</div>&amp;\";</script>after"},
        {"<!DOCTYPE html><?xml version=\"1.0\"?>t", "t"},
        {"<style></style><title></title>x", "<style></style><title></title>x"},  // empty raw text moves on
        {"<title>A <b> &amp; B</title>", "<title>A <b> & B</title>"},
    };
    for (const auto& [html, expected] : cases) EXPECT_EQ(summary(html), expected) << html;
}

TEST(HtmlEntities, DecodesReferencesReplacesInvalidOnesAndKeepsUnknownNames) {
    struct Case {
        std::string in;
        EntityContext context;
        std::string out;
    };
    const Case cases[] = {
        {"&nbsp;&mdash;&hellip;&ldquo;&rdquo;&apos;&Omega;&sigmaf;&eacute;&euro;", EntityContext::Text,
         u8"\u00A0\u2014\u2026\u201C\u201D'\u03A9\u03C2\u00E9\u20AC"},
        {"&#20013;&#x6587;&#X41;&#39", EntityContext::Text, u8"中文A'"},
        {"&#0;&#xD800;&#99999999999;", EntityContext::Text, u8"\uFFFD\uFFFD\uFFFD"},
        {std::string("a\0b", 3), EntityContext::Text, u8"a\uFFFDb"},
        {"&bogus; & &# &#x; &", EntityContext::Text, "&bogus; & &# &#x; &"},
        // Legacy names without a semicolon count in text, not in attributes (think of URLs).
        {"AT&amp T &lt", EntityContext::Text, "AT& T <"},
        {"?a=1&copy=2&amp;b", EntityContext::Attribute, "?a=1&copy=2&b"},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeEntities(c.in, c.context), c.out) << c.in;
}
