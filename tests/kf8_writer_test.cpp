// Books with a KF8 part are read back by libmobi in process: its parsed indexes, its rebuilt
// documents and resources, and the raw text reassembled from its skeleton and fragment
// entries, where every kindle:pos link and TOC position must land on its target's '<'.
#include "libmobi_support.h"
#include "mobigen/kf8/writer.h"
#include "mobigen/records/index_tags.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace {

using namespace test_support;
using mobigen::Book;
using mobigen::Compression;
using mobigen::Kf8Target;
using mobigen::OutputKind;
namespace ncx_tag = mobigen::index_tag::ncx;
namespace skeleton_tag = mobigen::index_tag::skeleton;
namespace fragment_tag = mobigen::index_tag::fragment;

// A real 1x1 grey PNG, so the EPUBs readers rebuild from the book can be validated too.
const std::string kPng(
    "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x00"
    "\x00\x00\x00\x3A\x7E\x9B\x55\x00\x00\x00\x0A\x49\x44\x41\x54\x78\x9C\x63\x60\x00\x00\x00\x02\x00\x01\x48"
    "\xAF\xA4\x71\x00\x00\x00\x00\x49\x45\x4E\x44\xAE\x42\x60\x82",
    67);
const std::string kCss =
    "p { text-indent: 2em; margin: 0 }\n@font-face { font-family: K; src: url(kindle:embed:0002) }\n";
const std::string kVerticalCss = "html { writing-mode: vertical-rl; -webkit-writing-mode: vertical-rl }\n";

// Compressed, it is still longer than the 1040 bytes obfuscation covers.
std::string sampleFont() {
    std::string font("\0\1\0\0", 4);
    std::uint32_t state = 7;
    for (int i = 0; i < 3000; ++i) font.push_back(static_cast<char>((state = state * 1103515245u + 12345u) >> 24));
    return font;
}

std::string document(const std::string& title, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" +
           title + "</title><link href=\"kindle:flow:0001?mime=text/css\" rel=\"stylesheet\" type=\"text/css\"/>" +
           "</head><body>" + body + "</body></html>";
}

std::string paragraphs(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += u8"<p>天下大势，分久必合，合久必分。" + std::to_string(i) + "</p>\n";
    return out;
}

// Two documents: the first cut between its paragraphs, the second inside a link too large for
// one fragment, whose tag stays in the skeleton. Links cross between them, to an id and to a
// document's start.
Book sampleBook(bool vertical) {
    Book book;
    book.metadata.title = u8"三国 KF8";
    book.metadata.language = "zh";
    book.flow = u8"<html><head><guide></guide></head><body><p>天下</p><img recindex=\"00001\"></body></html>";
    book.toc = {{u8"天下", 40, 0}};
    book.images = {{kPng}};
    book.coverImage = 0;
    auto& kf8 = book.kf8;
    kf8.documents = {
        document("One", u8"<p class=\"intro\">序</p><h1 id=\"c1\">第一章</h1>" + paragraphs(200) +
                            u8"<p><a href=\"#kf8link:1:s2\">第二节</a> <a href=\"#kf8link:1:\">第二章</a></p>"
                            "<p><img src=\"kindle:embed:0001?mime=image/png\" alt=\"\"/></p>"),
        document("Two",
                 u8"<h1 id=\"c2\">第二章</h1><a id=\"big\" href=\"#kf8link:0:\">" + paragraphs(300) +
                     u8"<h2 id=\"s2\">第二节</h2>" + paragraphs(10) +
                     "</a><p id=\"tail\"><a href=\"#kf8link:0:c1\">back</a> <a href=\"#kf8link:1:tail\">end</a></p>"),
    };
    kf8.flows = {vertical ? kVerticalCss + kCss : kCss};
    kf8.flowTypes = {"text/css"};
    kf8.fonts = {{sampleFont()}};
    kf8.toc = {{u8"第一卷", {0, ""}, 0},
               {u8"第一章", {0, "c1"}, 1},
               {u8"第二章", {1, "c2"}, 1},
               {u8"第二节", {1, "s2"}, 2},
               {u8"尾声", {1, "tail"}, 0}};
    kf8.contents = Kf8Target{0, ""};
    kf8.start = Kf8Target{0, "c1"};
    if (vertical) {
        kf8.writingMode = "vertical-rl";
        kf8.pageProgression = "rtl";
    }
    return book;
}

// The text with every fragment put back, from libmobi's index entries and raw text.
struct Assembled {
    std::string text;
    std::vector<std::size_t> documentStarts;
    std::vector<std::uint32_t> fragmentInsert;  // by fragment number
    std::vector<std::uint32_t> documentFirstFragment;
};

Assembled assemble(const MOBIRawml* rawml, const std::string& raw) {
    Assembled out;
    std::size_t fragment = 0;
    for (std::size_t s = 0; s < rawml->skel->entries_count; ++s) {
        const MOBIIndexEntry& skeleton = rawml->skel->entries[s];
        const auto start = static_cast<std::size_t>(tagValue(skeleton, skeleton_tag::kStartLength, 0));
        std::size_t next = start + static_cast<std::size_t>(tagValue(skeleton, skeleton_tag::kStartLength, 1));
        std::string file = raw.substr(start, next - start);
        const std::size_t fragmentsStart = next;
        out.documentFirstFragment.push_back(static_cast<std::uint32_t>(fragment));
        for (long long n = tagValue(skeleton, skeleton_tag::kFragmentCount); n > 0; --n, ++fragment) {
            const MOBIIndexEntry& entry = rawml->frag->entries[fragment];
            const auto insert = static_cast<std::uint32_t>(std::stoul(entry.label));
            const auto length = static_cast<std::size_t>(tagValue(entry, fragment_tag::kOffsetLength, 1));
            EXPECT_EQ(tagValue(entry, fragment_tag::kFile), static_cast<long long>(s));
            EXPECT_EQ(tagValue(entry, fragment_tag::kOffsetLength, 0), static_cast<long long>(next - fragmentsStart));
            file.insert(insert - start, raw, next, length);
            next += length;
            out.fragmentInsert.push_back(insert);
        }
        out.documentStarts.push_back(out.text.size());
        out.text += file;
    }
    return out;
}

// The tag that starts at `at`, or what is there instead.
std::string tagAt(const std::string& text, std::size_t at) {
    if (at >= text.size() || text[at] != '<') return "(no tag at " + std::to_string(at) + ")";
    return text.substr(at, text.find('>', at) - at + 1);
}

// A target with an id is the '<' of its element; a document's start is its first fragment.
::testing::AssertionResult landsOn(const Assembled& assembled, std::size_t at, const Kf8Target& target) {
    const std::uint32_t start = assembled.fragmentInsert.at(assembled.documentFirstFragment.at(target.document));
    if (target.id.empty() ? at == start
                          : tagAt(assembled.text, at).find("id=\"" + target.id + "\"") != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "for #" << target.id << " in " << target.document << ": " << at << " "
                                         << tagAt(assembled.text, at);
}

// The kindle:pos links of the assembled text, in order, land on `targets`.
void expectLinksLandOn(const Assembled& assembled, const std::vector<Kf8Target>& targets) {
    const std::regex link("kindle:pos:fid:([0-9A-V]{4}):off:([0-9A-V]{10})");
    std::vector<std::size_t> landed;
    for (std::sregex_iterator it(assembled.text.begin(), assembled.text.end(), link), end; it != end; ++it)
        landed.push_back(assembled.fragmentInsert.at(std::stoul((*it)[1], nullptr, 32)) +
                         std::stoul((*it)[2], nullptr, 32));
    ASSERT_EQ(landed.size(), targets.size());
    for (std::size_t i = 0; i < landed.size(); ++i) EXPECT_TRUE(landsOn(assembled, landed[i], targets[i])) << i;
}

std::string rawText(const MOBIData* m) {
    std::string raw(mobi_get_text_maxsize(m), '\0');
    std::size_t length = raw.size();
    EXPECT_EQ(mobi_get_rawml(m, &raw[0], &length), MOBI_SUCCESS);
    raw.resize(length);
    return raw;
}

struct Variant {
    const char* name;
    bool vertical;
    OutputKind kind;
};

// Writes the book and has libmobi load its KF8 part, or with `kf8` false its MOBI 6 part.
MobiData writeAndLoad(const Book& book, Compression compression, OutputKind kind, bool kf8 = true) {
    mobigen::Diagnostics diagnostics;
    return loadMobi(mobigen::writeBook(book, compression, kind, diagnostics), kf8);
}

class Kf8Writer : public ::testing::TestWithParam<Variant> {};

TEST_P(Kf8Writer, BothPartsReadBackWithLinksTocStylesAndResources) {
    const Book book = sampleBook(GetParam().vertical);
    const MobiData m = writeAndLoad(book, Compression::PalmDoc, GetParam().kind);
    ASSERT_TRUE(m);
    EXPECT_EQ(mobi_is_hybrid(m.get()), GetParam().kind == OutputKind::Joint);
    EXPECT_EQ(mobi_get_fileversion(m.get()), 8u);
    EXPECT_EQ(exthString(m.get(), EXTH_LANGUAGE), "zh");
    EXPECT_EQ(exthString(m.get(), EXTH_ALIGNMENT), GetParam().vertical ? "vertical-rl" : "horizontal-lr");
    EXPECT_EQ(exthString(m.get(), EXTH_PAGEDIR), GetParam().vertical ? "rtl" : "(none)");

    const MobiRawml rawml = parseRawml(m.get());
    ASSERT_TRUE(rawml);
    ASSERT_TRUE(rawml->skel && rawml->frag && rawml->ncx && rawml->guide);

    // libmobi's own documents: text kept, links resolved (where they land is checked below).
    const auto markup = partList(rawml->markup);
    ASSERT_EQ(markup.size(), 2u);
    const std::string one = partText(markup[0]);
    const std::string two = partText(markup[1]);
    EXPECT_NE(one.find(u8"分久必合，合久必分。199</p>"), std::string::npos);
    EXPECT_EQ((one + two).find("kindle:pos"), std::string::npos);

    // The style flow, typed by its link, and the image and the font, decoded.
    const auto flows = partList(rawml->flow);
    ASSERT_EQ(flows.size(), 2u);
    EXPECT_EQ(flows[1]->type, T_CSS);
    // The font's url() names the font libmobi decoded: both count resources from the first image.
    EXPECT_EQ(partText(flows[1]),
              std::regex_replace(book.kf8.flows[0], std::regex("kindle:embed:0002"), "resource00001.ttf"));
    std::map<MOBIFiletype, std::string> resources;
    for (const MOBIPart* part : partList(rawml->resources)) resources[part->type] = partText(part);
    EXPECT_EQ(resources[T_PNG], kPng);
    EXPECT_EQ(resources[T_TTF], book.kf8.fonts[0].data);

    // The raw text, reassembled: each link and TOC entry points at its target's '<'.
    const Assembled assembled = assemble(rawml.get(), rawText(m.get()));
    EXPECT_GT(assembled.fragmentInsert.size(), 4u);
    for (std::size_t i = 0; i < rawml->frag->entries_count; ++i)
        EXPECT_LE(tagValue(rawml->frag->entries[i], fragment_tag::kOffsetLength, 1), 8192);
    expectLinksLandOn(assembled, {{1, "s2"}, {1, ""}, {0, ""}, {0, "c1"}, {1, "tail"}});

    // Sorted by depth: parents first, each one's children consecutive, with both kinds of links.
    const MOBIIndx* ncx = rawml->ncx;
    ASSERT_EQ(ncx->entries_count, 5u);
    // Title, depth, parent, first and last child.
    const char* expected[] = {u8"第一卷 0 -1 2 3", u8"尾声 0 -1 -1 -1", u8"第一章 1 0 -1 -1", u8"第二章 1 0 4 4",
                              u8"第二节 2 3 -1 -1"};
    const Kf8Target targets[] = {{0, ""}, {1, "tail"}, {0, "c1"}, {1, "c2"}, {1, "s2"}};
    const int endsAt[] = {1, -1, 3, 1, 1};  // the next entry no deeper in the text, or its end
    for (std::size_t i = 0; i < 5; ++i) {
        const MOBIIndexEntry& entry = ncx->entries[i];
        std::string seen = cncxString(ncx, static_cast<std::uint32_t>(tagValue(entry, ncx_tag::kTitle)));
        for (const auto tag : {ncx_tag::kDepth, ncx_tag::kParent, ncx_tag::kFirstChild, ncx_tag::kLastChild})
            seen += " " + std::to_string(tagValue(entry, tag));
        EXPECT_EQ(seen, expected[i]);
        const auto position = static_cast<std::size_t>(tagValue(entry, ncx_tag::kPosition));
        EXPECT_TRUE(landsOn(assembled, position, targets[i])) << expected[i];
        const long long end = endsAt[i] < 0 ? static_cast<long long>(assembled.text.size())
                                            : tagValue(ncx->entries[endsAt[i]], ncx_tag::kPosition);
        EXPECT_EQ(static_cast<long long>(position) + tagValue(entry, ncx_tag::kLength), end) << expected[i];
        EXPECT_EQ(position,
                  assembled.fragmentInsert.at(static_cast<std::size_t>(tagValue(entry, ncx_tag::kFragmentOffset, 0))) +
                      static_cast<std::size_t>(tagValue(entry, ncx_tag::kFragmentOffset, 1)));
    }
    // Where reading starts, as EXTH 116 and in the guide beside the contents.
    const MOBIExthHeader* start = mobi_get_exthrecord_by_tag(m.get(), EXTH_STARTREADING);
    ASSERT_TRUE(start);
    const std::size_t startAt = mobi_decode_exthvalue(static_cast<const unsigned char*>(start->data), start->size);
    EXPECT_TRUE(landsOn(assembled, startAt, {0, "c1"}));
    ASSERT_EQ(rawml->guide->entries_count, 2u);
    EXPECT_STREQ(rawml->guide->entries[0].label, "text");
    EXPECT_STREQ(rawml->guide->entries[1].label, "toc");

    // A joint file's MOBI 6 part is the book as before.
    if (GetParam().kind != OutputKind::Joint) return;
    const MobiData mobi6 = writeAndLoad(book, Compression::PalmDoc, OutputKind::Joint, false);
    ASSERT_TRUE(mobi6);
    EXPECT_EQ(exthString(mobi6.get(), EXTH_ALIGNMENT), GetParam().vertical ? "vertical-rl" : "horizontal-lr");
    EXPECT_EQ(rawText(mobi6.get()), book.flow);
    const MobiRawml rawml6 = parseRawml(mobi6.get());
    ASSERT_TRUE(rawml6 && rawml6->ncx && rawml6->resources);
    EXPECT_EQ(rawml6->ncx->entries_count, 1u);
    EXPECT_EQ(partText(rawml6->resources), kPng);
}

const Variant kVariants[] = {
    {"joint", false, OutputKind::Joint},
    {"joint_vertical", true, OutputKind::Joint},
    {"azw3", false, OutputKind::Kf8},
    {"azw3_vertical", true, OutputKind::Kf8},
};
INSTANTIATE_TEST_SUITE_P(Books, Kf8Writer, ::testing::ValuesIn(kVariants),
                         [](const auto& test) { return std::string(test.param.name); });

// Documents the readers should not make, and targets they should not name, still give a book
// whose links land: an unknown target is its document's start, or the first document's.
struct OddDocuments {
    const char* name;
    std::string document;
    const char* firstLanding;  // the id the link to #x lands on
};

const std::string kLinks =
    "<p><a href=\"#kf8link:1:x\">x</a> <a href=\"#kf8link:1:nope\">?</a> "
    "<a href=\"#kf8link:9:x\">?</a></p>";

class Kf8WriterOddInput : public ::testing::TestWithParam<OddDocuments> {};

TEST_P(Kf8WriterOddInput, ReadsBackWithEveryLinkLanding) {
    Book book;
    book.metadata.title = "Odd";
    book.flow = "<html><body>odd</body></html>";
    // One at a time, as a text page gives them.
    book.kf8.documentSource = [documents = std::vector<std::string>{document("Links", kLinks), GetParam().document},
                               next = std::size_t{0}](std::string& out) mutable {
        if (next == documents.size()) return false;
        out = documents[next++];
        return true;
    };
    const MobiData m = writeAndLoad(book, Compression::None, OutputKind::Joint);
    ASSERT_TRUE(m);
    const MobiRawml rawml = parseRawml(m.get());
    ASSERT_TRUE(rawml && rawml->skel && rawml->frag);
    EXPECT_EQ(partList(rawml->markup).size(), 2u);
    expectLinksLandOn(assemble(rawml.get(), rawText(m.get())), {{1, GetParam().firstLanding}, {1, ""}, {0, ""}});
}

const OddDocuments kOddDocuments[] = {
    {"empty_body", document("Empty", ""), ""},
    {"no_body", "<html><p id=\"x\">x</p></html>", "x"},
    {"oversized_paragraph", document("Big", "<p id=\"x\">" + std::string(20000, 'a') + "</p><p>b</p>"), "x"},
    {"table_cell",
     document("Table", "<table>" + repeat("<tr><td>" + std::string(500, 'c') + "</td></tr>", 20) +
                           "<tr><td id=\"x\">x</td></tr></table>"),
     "x"},
};
INSTANTIATE_TEST_SUITE_P(Books, Kf8WriterOddInput, ::testing::ValuesIn(kOddDocuments),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
