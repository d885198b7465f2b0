#include "mobigen/html_entities.h"
#include "mobigen/html_tokenizer.h"

#include <gtest/gtest.h>

#include <random>

using namespace mobigen;

namespace {

std::vector<HtmlToken> tokenize(std::string_view html) {
    std::vector<HtmlToken> tokens;
    HtmlTokenizer tokenizer(html);
    HtmlToken token;
    while (tokenizer.next(token)) tokens.push_back(token);
    return tokens;
}

// Text tokens joined, tags as "<name>" / "</name>", other markup left out.
std::string summary(std::string_view html) {
    std::string out;
    for (const auto& t : tokenize(html)) {
        if (t.kind == HtmlTokenKind::Text) out += t.text;
        if (t.kind == HtmlTokenKind::StartTag) out += "<" + t.name + (t.selfClosing ? "/>" : ">");
        if (t.kind == HtmlTokenKind::EndTag) out += "</" + t.name + ">";
    }
    return out;
}

}  // namespace

TEST(HtmlTokenizer, ReadsTagsAndAttributesInEveryQuotingStyle) {
    const auto tokens = tokenize("<P Align=center TITLE='a \"b\"' data-x=\"1 &amp; 2\" hidden CLASS=x class=y><br/></p>");
    ASSERT_EQ(tokens.size(), 3u);
    const HtmlToken& p = tokens[0];
    EXPECT_EQ(p.name, "p");
    ASSERT_NE(p.attribute("align"), nullptr);
    EXPECT_EQ(*p.attribute("align"), "center");
    EXPECT_EQ(*p.attribute("title"), "a \"b\"");
    EXPECT_EQ(*p.attribute("data-x"), "1 & 2");
    EXPECT_EQ(*p.attribute("hidden"), "");
    EXPECT_EQ(*p.attribute("class"), "x");  // the first of two wins
    EXPECT_TRUE(tokens[1].selfClosing);
    EXPECT_EQ(tokens[2].kind, HtmlTokenKind::EndTag);
}

TEST(HtmlTokenizer, StrayAngleBracketsAndUnclosedMarkupStayText) {
    EXPECT_EQ(summary("a < b, x<3 and 1 <= 2 </ > <"), "a < b, x<3 and 1 <= 2 </ > <");
    EXPECT_EQ(summary("<p>ok</p><a href=\"x"), "<p>ok</p><a href=\"x");
    EXPECT_EQ(summary("<b>bold<i"), "<b>bold<i");
    EXPECT_EQ(summary("x<!-- never closed <p>"), "x");
    EXPECT_EQ(summary("<![CDATA[a<b]]>c"), "c");
    EXPECT_EQ(summary("<!DOCTYPE html><?xml version=\"1.0\"?>t"), "t");
}

TEST(HtmlTokenizer, KeepsCommentCdataAndScriptBodiesVerbatim) {
    const auto tokens = tokenize("<!--a<b>--><![CDATA[x&amp;<y>]]><script>if (a<b) s=\"</div>&amp;\";</SCRIPT>after");
    ASSERT_EQ(tokens.size(), 6u);
    EXPECT_EQ(tokens[0].kind, HtmlTokenKind::Comment);
    EXPECT_EQ(tokens[0].text, "a<b>");
    EXPECT_EQ(tokens[1].kind, HtmlTokenKind::CData);
    EXPECT_EQ(tokens[1].text, "x&amp;<y>");
    EXPECT_EQ(tokens[3].text, "if (a<b) s=\"</div>&amp;\";");
    EXPECT_EQ(tokens[4].kind, HtmlTokenKind::EndTag);
    EXPECT_EQ(tokens[5].text, "after");
}

TEST(HtmlTokenizer, EveryTokenMovesForward) {
    const auto tokens = tokenize("<style></style><title></title>x");
    ASSERT_EQ(tokens.size(), 5u);
    for (std::size_t i = 1; i < tokens.size(); ++i) EXPECT_GT(tokens[i].offset, tokens[i - 1].offset);
}

TEST(HtmlTokenizer, TitleBodyIsTextWithEntities) {
    const auto tokens = tokenize("<title>A <b> &amp; B</title>");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1].text, "A <b> & B");
}

TEST(HtmlEntities, DecodesNamedAndNumericReferences) {
    EXPECT_EQ(decodeEntities("&nbsp;&mdash;&ndash;&hellip;&lsquo;&rsquo;&ldquo;&rdquo;&copy;&apos;", EntityContext::Text),
              u8"\u00A0\u2014\u2013\u2026\u2018\u2019\u201C\u201D\u00A9'");
    EXPECT_EQ(decodeEntities("&Omega;&omega;&sigmaf;&eacute;&yuml;&euro;&hearts;", EntityContext::Text),
              u8"\u03A9\u03C9\u03C2\u00E9\u00FF\u20AC\u2665");
    EXPECT_EQ(decodeEntities("&#20013;&#x6587;&#X41;&#39", EntityContext::Text), u8"中文A'");
}

TEST(HtmlEntities, ReplacesInvalidCodePointsAndKeepsUnknownNames) {
    EXPECT_EQ(decodeEntities("&#0;&#xD800;&#99999999999;", EntityContext::Text), u8"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(decodeEntities(std::string("a\0b", 3), EntityContext::Text), u8"a\uFFFDb");
    EXPECT_EQ(decodeEntities("&bogus; & &# &#x; &", EntityContext::Text), "&bogus; & &# &#x; &");
}

TEST(HtmlEntities, BareLegacyNamesOnlyInText) {
    EXPECT_EQ(decodeEntities("AT&amp T &lt", EntityContext::Text), "AT& T <");
    EXPECT_EQ(decodeEntities("?a=1&copy=2&amp;b", EntityContext::Attribute), "?a=1&copy=2&b");
}

TEST(HtmlEntities, EscapesWhatMarkupNeeds) {
    std::string out;
    appendEscaped(out, "a<b>&\"c\"", EntityContext::Text);
    EXPECT_EQ(out, "a&lt;b&gt;&amp;\"c\"");
    out.clear();
    appendEscaped(out, "\"&", EntityContext::Attribute);
    EXPECT_EQ(out, "&quot;&amp;");
}

TEST(HtmlTokenizer, SurvivesRandomMarkup) {
    std::string alphabet = "<>/!-=\"' ab&#;[]?x\xE4\xB8";
    alphabet += '\0';
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        const int length = static_cast<int>(random() % 64);
        for (int i = 0; i < length; ++i) input += alphabet[random() % alphabet.size()];
        std::size_t tokens = 0;
        HtmlTokenizer tokenizer(input);
        HtmlToken token;
        while (tokenizer.next(token)) ASSERT_LE(++tokens, input.size()) << input;
    }
}
