#include "mobigen/outline/text_page.h"
#include "libmobi_support.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/kf8/writer.h"
#include "mobigen/records/index_tags.h"
#include "mobigen/source/xml.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

using namespace mobigen;
using namespace test_support;
namespace ncx_tag = mobigen::index_tag::ncx;

namespace {

Book readText(const std::string& body, const char* title = "", const char* fallback = "t") {
    Diagnostics diagnostics;
    return readHtmlBook(std::string("<html><head><title>") + title + "</title></head><body>" + body + "</body></html>",
                        fallback, diagnostics);
}

using Labels = std::vector<std::pair<std::string, long long>>;  // label, depth

// The outline a reader finds in one part's NCX, in reading order.
Labels ncxOutline(const MOBIData* m) {
    const MobiRawml rawml = parseRawml(m);
    if (!rawml || !rawml->ncx) return {};
    std::map<long long, std::pair<std::string, long long>> byPlace;  // then by index, for entries sharing one
    for (std::size_t i = 0; i < rawml->ncx->entries_count; ++i) {
        const MOBIIndexEntry& entry = rawml->ncx->entries[i];
        byPlace[tagValue(entry, ncx_tag::kPosition) * 4096 + static_cast<long long>(i)] = {
            cncxString(rawml->ncx, static_cast<std::uint32_t>(tagValue(entry, ncx_tag::kTitle))),
            std::max(0LL, tagValue(entry, ncx_tag::kDepth))};
    }
    Labels outline;
    for (auto& [place, label] : byPlace) outline.push_back(std::move(label));
    return outline;
}

}  // namespace

TEST(TextPage, RecognisedByItsFrameWhateverItsLinesHold) {
    const struct {
        const char* html;
        bool textPage;
    } cases[] = {
        {"<html><head><title>T</title></head><body>a<br>x<y<br></body></html>", true},
        {"<html><head><title></title></head><body></body></html>", true},
        {"<html><head><title>T</title></head><body><h3>1</h3><br><a href='/b/1'>a</a><br></body></html>", true},
        {"<html><head><title>T</title></head><body>no break</body></html>", false},
        {"<!DOCTYPE html><html><head><title>T</title></head><body>a<br></body></html>", false},
        {"<html><head><title>T</title></head><body>\n<p>a</p><br></body></html>", false},
    };
    for (const auto& c : cases) EXPECT_EQ(matchTextDerivedHtml(c.html).has_value(), c.textPage) << c.html;
    const auto doc = matchTextDerivedHtml(cases[0].html);
    EXPECT_EQ(doc->title, "T");
    EXPECT_EQ(doc->body, "a<br>x<y<br>");
}

// MOBI 6 keeps the text's lines; KF8 has a document for the contents, the preface and each
// chapter, with a paragraph a line and the indentation left to the style sheet.
TEST(TextPage, HeadingsBecomeChaptersWithAContentsPageAndTheTextIsUnchanged) {
    Book book = readText(
        u8"书名<br>　　第一章 开始<br>x<y & z &amp;<br><br>  <br>　　第一次见到他的时候，我……<br>"
        u8"第二章 结束<br>完<br>",
        "", u8"小说");
    EXPECT_EQ(book.metadata.title, u8"小说");
    const std::string& f = book.flow;
    ASSERT_EQ(book.toc.size(), 2u);
    EXPECT_EQ(book.toc[0].title, u8"第一章 开始");
    EXPECT_EQ(f.substr(book.toc[0].filepos, std::string(u8"<h2>　　第一章 开始</h2>").size()),
              u8"<h2>　　第一章 开始</h2>");
    for (const char* part : {u8"x&lt;y &amp; z &amp;amp;<br><br>  <br>　　第一次见到他的时候，我……<br>",
                             u8"<h2>目录</h2>", "type=\"toc\"", u8"<mbp:pagebreak/><h2>第二章 结束</h2>"})
        EXPECT_NE(f.find(part), std::string::npos) << part;

    drainDocumentSource(book.kf8);
    const Kf8Part& kf8 = book.kf8;
    ASSERT_EQ(kf8.documents.size(), 4u);
    for (const auto& document : kf8.documents) EXPECT_NO_THROW(parseXml(document, "text page"));
    EXPECT_NE(kf8.documents[0].find(u8"<a href=\"#kf8link:3:\">第二章 结束</a>"), std::string::npos);
    EXPECT_NE(
        kf8.documents[2].find(u8"<h2>第一章 开始</h2><p>x&lt;y &amp; z &amp;amp;</p><p>第一次见到他的时候，我……</p>"),
        std::string::npos)
        << kf8.documents[2];
    ASSERT_EQ(kf8.toc.size(), 2u);
    EXPECT_EQ(kf8.toc[1].target.document, 3u);
    EXPECT_EQ(kf8.contents->document, 0u);
    EXPECT_EQ(kf8.start->document, 1u);
    EXPECT_NE(kf8.flows.at(0).find("p {margin: 0; text-indent: 2em}"), std::string::npos);
}

TEST(TextPage, LanguageAndContentsTitleFollowTheTextAndTheByteOrderMarkGoes) {
    const struct {
        std::string body, language, contents;
    } cases[] = {
        {u8"\uFEFF第一章 开始<br>这是我们的书。<br>", "zh", u8"目录"},
        {u8"第一章 開始<br>這是我們的書。<br>", "zh-TW", u8"目錄"},
        {u8"第一章 始まり<br>これは私たちの本です。<br>", "ja", u8"目次"},
        {u8"\uFEFFChapter 1<br>Mr Wang (王) came home late.<br>", "", "Contents"},
    };
    for (const auto& c : cases) {
        const Book book = readText(c.body);
        EXPECT_EQ(book.metadata.language, c.language) << c.body;
        EXPECT_NE(book.flow.find("<h2>" + c.contents + "</h2>"), std::string::npos) << c.body;
        EXPECT_EQ(book.flow.find(u8"\uFEFF"), std::string::npos) << c.body;
        ASSERT_EQ(book.toc.size(), 1u) << c.body;
        EXPECT_EQ(book.toc[0].title.find(u8"\uFEFF"), std::string::npos) << c.body;
    }
}

// A book with parts, as download sites save them: a notice, a site's prefixes, indentation,
// leftover markup, a first sentence run into its heading, chapters numbered on across the
// parts. Both parts of the joint file must carry one outline.
TEST(TextPage, BothPartsCarryTheSameNestedOutline) {
    std::string body = u8"本书来自某网站，仅供试读<br><br>";
    Labels expected;
    const char* const forms[] = {u8"正文 %", u8"　　%", u8"% <a href='/book/2619/im'>标题</a>",
                                 u8"%诗曰：豪华去后行人绝。"};
    int chapter = 0;
    for (const char* part : {u8"第一部 春", u8"《书》 第二部 秋"}) {
        body += std::string(part) + "<br>";
        expected.push_back({std::string(part).substr(std::string(part).find(u8"第")), 0});
        for (const char* form : forms) {
            const std::string heading = u8"第" + std::to_string(++chapter) + u8"回 标题";
            std::string line = form;
            line.replace(line.find('%'), 1, heading);
            body += line + "<br><h3>" + std::to_string(chapter) + u8"</h3><br>　　正文一段。<br>";
            expected.push_back({heading + (line.find("href") != std::string::npos ? u8" 标题" : ""), 1});
        }
    }
    const Book book = readText(body, u8"书");
    EXPECT_EQ(book.flow.find("<h3>"), std::string::npos);
    EXPECT_EQ(book.flow.find("href"), std::string::npos);
    for (const char* kept : {u8"本书来自某网站，仅供试读<br>", u8"诗曰：豪华去后行人绝。<br>"})
        EXPECT_NE(book.flow.find(kept), std::string::npos) << kept;
    Diagnostics diagnostics;
    const std::string file = writeBook(book, Compression::PalmDoc, OutputKind::Joint, diagnostics);
    for (const bool kf8 : {false, true}) {
        const MobiData m = loadMobi(file, kf8);
        ASSERT_TRUE(m);
        EXPECT_EQ(ncxOutline(m.get()), expected) << (kf8 ? "KF8" : "MOBI 6");
    }
}
