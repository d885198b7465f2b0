#include "mobigen/book/book_readers.h"

#include "mobigen/source/font_obfuscation.h"
#include "mobigen/source/xml.h"

#include "tests/support/books.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace mobigen;
using test_support::buildEpub;
using test_support::makeOpf;
using test_support::makeXhtml;
using test_support::ZipEntrySpec;

namespace {

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg";
const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + "png";

// The text at a flow position, for checking where links land.
std::string at(const Book& book, std::uint32_t filepos, std::size_t length) {
    return book.flow.substr(filepos, length);
}

std::string linkTarget(const Book& book, const std::string& linkText, std::size_t length) {
    const std::size_t link = book.flow.rfind("filepos=", book.flow.find(">" + linkText + "</a>"));
    return at(book, static_cast<std::uint32_t>(std::stoul(book.flow.substr(link + 8, 10))), length);
}

// Every link, guide reference and TOC entry lands on the start of a tag.
void expectTargetsOnTags(const Book& book, const std::string& name) {
    for (std::size_t at = book.flow.find("filepos="); at != std::string::npos; at = book.flow.find("filepos=", at + 1))
        EXPECT_EQ(book.flow[std::stoul(book.flow.substr(at + 8, 10))], '<') << name << " at " << at;
    for (const auto& e : book.toc) EXPECT_EQ(book.flow[e.filepos], '<') << name << ": " << e.title;
}

const std::string kXhtml = "application/xhtml+xml", kSvg = "image/svg+xml";

// Manifest items from id, href, media type, id, href, media type...
std::string items(std::initializer_list<std::string> idHrefType) {
    std::string all;
    for (auto it = idHrefType.begin(); it != idHrefType.end(); it += 3)
        all += "<item id=\"" + *it + "\" href=\"" + *(it + 1) + "\" media-type=\"" + *(it + 2) + "\"/>";
    return all;
}

// An EPUB of `opf` and OEBPS files given as name, contents, name, contents...
std::string epubOf(const std::string& opf, std::initializer_list<std::string> namesAndData,
                   const std::vector<ZipEntrySpec>& rootFiles = {}) {
    std::vector<ZipEntrySpec> files;
    for (auto it = namesAndData.begin(); it != namesAndData.end(); it += 2) files.push_back({*it, *(it + 1)});
    return buildEpub(opf, files, rootFiles);
}

std::string sampleEpub() {
    const std::string opf = makeOpf(
        "<dc:title>Sample</dc:title><dc:creator>Ann</dc:creator><dc:language>en</dc:language><meta name=\"cover\" "
        "content=\"cover\"/>",
        items({"ncx",   "toc.ncx",          "application/x-dtbncx+xml",
               "cover", "img/cover.png",    "image/png",
               "pic",   "img/pic.jpg",      "image/jpeg",
               "vec",   "img/v.svg",        kSvg,
               "c1",    "text/c1.xhtml",    kXhtml,
               "c2",    "text/c%202.xhtml", kXhtml,
               "notes", "notes.xhtml",      kXhtml,
               "gone",  "gone.xhtml",       kXhtml}),
        "<itemref idref=\"notes\" linear=\"no\"/><itemref idref=\"c1\"/><itemref idref=\"gone\"/><itemref "
        "idref=\"c2\"/>",
        " toc=\"ncx\"");
    const std::string ncx =
        "<ncx><navMap><navPoint><navLabel><text>One</text></navLabel><content src=\"text/c1.xhtml\"/>"
        "<navPoint><navLabel><text>Deep</text></navLabel><content src=\"text/c1.xhtml#deep\"/></navPoint></navPoint>"
        "<navPoint><navLabel><text>Two  &amp;\n more</text></navLabel><content src=\"text/c%202.xhtml\"/></navPoint>"
        "<navPoint><navLabel><text>Web</text></navLabel><content src=\"http://a.org/\"/></navPoint></navMap></ncx>";
    const std::string c1 = makeXhtml(
        "<h1 id=\"top\">One</h1><p>See <a href=\"c%202.xhtml#x%E4%B8%80\">two</a>, <a href=\"#deep\">below</a>, "
        "<a href=\"../notes.xhtml#n1\">note</a>, <a href=\"c%202.xhtml#nope\">lost</a>, <a "
        "href=\"http://a.org/\">web</a>, "
        "<a href=\"../style.css\">css</a>, <a href=\"javascript:x()\">js</a>.</p>"
        "<img src=\"../img/pic.jpg\" alt=\"p\"/><img src=\"../img/v.svg\"/><img src=\"../img/none.gif\"/>"
        "<p id=\"deep\">Deep <span id=\"sp\">span</span></p><script>x()</script>");
    const std::string c2 =
        makeXhtml(u8"<p>Two</p><div id=\"x一\"><img src=\"../img/pic.jpg\"/><a href=\"c1.xhtml\">back</a></div>");
    const std::string notes = makeXhtml("<p id=\"n1\">Note 1</p>");
    return epubOf(opf, {"toc.ncx", ncx, "img/cover.png", kPng, "img/pic.jpg", kJpeg, "img/v.svg",
                        "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "text/c1.xhtml", c1, "text/c 2.xhtml", c2,
                        "notes.xhtml", notes});
}

// Every KF8 document is well formed, and every link and TOC entry names an id its document has.
void expectKf8TargetsExist(const Kf8Part& kf8, const std::string& name) {
    const auto hasTarget = [&](std::size_t document, const std::string& id) {
        return document < kf8.documents.size() &&
               (id.empty() || kf8.documents[document].find(" id=\"" + id + "\"") != std::string::npos);
    };
    for (const auto& document : kf8.documents) {
        EXPECT_NO_THROW(parseXml(document, name)) << name;
        for (std::size_t at = document.find("#kf8link:"); at != std::string::npos;
             at = document.find("#kf8link:", at + 1)) {
            const std::size_t colon = document.find(':', at + 9);
            const std::string id = document.substr(colon + 1, document.find('"', colon) - colon - 1);
            EXPECT_TRUE(hasTarget(std::stoul(document.substr(at + 9, colon - at - 9)), id)) << name << ": " << id;
        }
    }
    for (const auto& e : kf8.toc) EXPECT_TRUE(hasTarget(e.target.document, e.target.id)) << name << ": " << e.title;
}

std::string warningsOf(const Diagnostics& diagnostics) {
    std::string all;
    for (const auto& w : diagnostics.warnings) all += w + "\n";
    return all;
}

}  // namespace

TEST(EpubReader, SampleBooksImagesReadingOrderLinksAndToc) {
    Diagnostics diagnostics;
    const Book book = readEpubBook(sampleEpub(), "fallback", diagnostics);
    const std::string& f = book.flow;
    ASSERT_EQ(book.images.size(), 3u);  // the cover and its thumbnail first, the picture once, no SVG
    EXPECT_EQ(book.images[0].data, kPng);
    EXPECT_EQ(book.coverImage, std::optional<std::size_t>(0));
    EXPECT_EQ(book.thumbnailImage, std::optional<std::size_t>(1));
    EXPECT_NE(f.find("<img recindex=\"00003\" alt=\"p\"/>"), std::string::npos);
    EXPECT_LT(f.find("<p>Two</p>"), f.find("Note 1"));  // linear="no" at the end
    EXPECT_EQ(f.find("x()"), std::string::npos);
    for (const char* reported : {"gone.xhtml", "SVG", "none.gif", "script"})
        EXPECT_NE(warningsOf(diagnostics).find(reported), std::string::npos) << reported;
    expectTargetsOnTags(book, "sample");
    EXPECT_EQ(linkTarget(book, "two", 4), "<div");
    EXPECT_EQ(linkTarget(book, "below", 8), "<p>Deep ");
    EXPECT_EQ(linkTarget(book, "note", 12), "<p>Note 1</p");
    EXPECT_EQ(linkTarget(book, "lost", 10), "<p>Two</p>");  // unknown fragment: the document start
    EXPECT_EQ(linkTarget(book, "back", 12), "<h1>One</h1>");
    EXPECT_NE(f.find("<a href=\"http://a.org/\">web</a>"), std::string::npos);
    EXPECT_NE(f.find("<a>css</a>, <a>js</a>"), std::string::npos);
    std::vector<std::string> toc;
    for (const auto& e : book.toc)
        toc.push_back(std::to_string(e.depth) + " " + e.title + " at " + at(book, e.filepos, 8));
    EXPECT_EQ(toc, (std::vector<std::string>{"0 One at <h1>One<", "1 Deep at <p>Deep ", "0 Two & more at <p>Two</"}));
    EXPECT_EQ(at(book, book.startOffset, 12), "<h1>One</h1>");
}

TEST(EpubReader, SmallBooksTitleTocAndWritingMode) {
    const std::string nav =
        "<html xmlns:epub=\"http://www.idpf.org/2007/ops\"><body><nav epub:type=\"toc\"><ol>"
        "<li><a href=\"a.xhtml#s\">Section</a></li><li><a href=\"nav.xhtml\">Outside</a></li></ol></nav></body></html>";
    const std::string navItem = items({"nav\" properties=\"nav", "nav.xhtml", kXhtml});
    const std::string ncxItem = items({"ncx", "toc.ncx", "application/x-dtbncx+xml"});
    const std::string modeMeta = "<meta name=\"primary-writing-mode\" content=\"vertical-rl\"/>", v = "vertical-rl";
    struct Case {
        std::string meta, item, spine, file, fileData, css, title, tocAt, warning, mode, progression;
    };
    const Case cases[] = {
        {"", navItem, "", "nav.xhtml", nav, "p {}", "file name", "<h2>S</h2", "outside the reading order", "", ""},
        {"", ncxItem, " toc=\"ncx\"", "toc.ncx", "<ncx><navMap>", "p {}", "V", "", "toc.ncx", "", ""},
        {modeMeta, "", "", "", "", "p {}", "V", "", "", v, "rtl"},
        {"", "", "", "", "", "html {-epub-writing-mode: vertical-rl}", "V", "", "", v, "rtl"},
        {"", "", " page-progression-direction=\"rtl\"", "", "", "p {}", "V", "", "", "", "rtl"},
    };
    for (const auto& c : cases) {
        std::vector<ZipEntrySpec> files{{"a.xhtml", makeXhtml("<p>x</p><h2 id=\"s\">S</h2>")}, {"s.css", c.css}};
        if (!c.file.empty()) files.push_back({c.file, c.fileData});
        const std::string opf = makeOpf("<dc:title>" + (c.title == "V" ? c.title : " ") + "</dc:title>" + c.meta,
                                        c.item + items({"a", "a.xhtml", kXhtml}), "<itemref idref=\"a\"/>", c.spine);
        Diagnostics diagnostics;
        const Book book = readEpubBook(buildEpub(opf, files), "file name", diagnostics);
        EXPECT_EQ(book.metadata.title, c.title);
        EXPECT_EQ(book.toc.size(), c.tocAt.empty() ? 0u : 1u) << c.title;
        for (const auto& e : book.toc) EXPECT_EQ(at(book, e.filepos, 9), c.tocAt);
        EXPECT_EQ(diagnostics.warnings.size(), c.warning.empty() ? 0u : 1u) << warningsOf(diagnostics);
        EXPECT_NE(warningsOf(diagnostics).find(c.warning), std::string::npos);
        EXPECT_EQ(book.kf8.writingMode, c.mode) << c.meta << c.css;
        EXPECT_EQ(book.kf8.pageProgression, c.progression) << c.spine;
        EXPECT_EQ(!book.kf8.flows.empty() && book.kf8.flows[0].find("writing-mode: vertical-rl") != std::string::npos,
                  !c.mode.empty());
    }
}

TEST(EpubReader, PicturesAndSvgInTheReadingOrderBecomePages) {
    const std::string opf =
        makeOpf("<dc:title>Pages</dc:title><dc:language>ja</dc:language>",
                items({"pic", "img/plate.jpg", "image/jpeg", "cover", "cover.svg", kSvg, "words", "words.svg", kSvg,
                       "blank", "blank.svg", kSvg, "a", "a.xhtml", kXhtml}),
                "<itemref idref=\"cover\"/><itemref idref=\"pic\"/><itemref idref=\"words\"/><itemref idref=\"blank\"/>"
                "<itemref idref=\"a\"/>");
    const std::string a = makeXhtml(
        "<p><q>Yes</q><a href=\"words.svg\" class=\"nr\">1</a><img src=\"cover.svg\"/><img "
        "src=\"img/plate.jpg\"/></p>");
    const std::string cover = "<svg><image width=\"600\" xlink:href=\"img/c%20v.png\"/></svg>";
    Diagnostics diagnostics;
    const Book book =
        readEpubBook(epubOf(opf, {"img/plate.jpg", kJpeg, "img/c v.png", kPng, "cover.svg", cover, "words.svg",
                                  "<svg><text>The End</text></svg>", "blank.svg", "<svg><rect/></svg>", "s.css",
                                  ".nr { vertical-align: super }", "a.xhtml", a}),
                     "fallback", diagnostics);
    ASSERT_EQ(book.images.size(), 3u);  // the blank drawing too
    EXPECT_EQ(book.images[0].data, kPng);
    const std::string& f = book.flow;
    const std::size_t cover1 = f.find("<div align=\"center\"><img recindex=\"00001\"/></div>");
    const std::size_t plate = f.find("<div align=\"center\"><img recindex=\"00002\"/></div>");
    const std::size_t words = f.find("<p>The End</p>");
    EXPECT_TRUE(cover1 < plate && plate < words && words < f.find(u8"<p>\u300CYes\u300D<sup><a filepos=")) << f;
    EXPECT_EQ(linkTarget(book, "1", 14), "<p>The End</p>");
    EXPECT_NE(f.find("<img recindex=\"00001\"/><img recindex=\"00002\"/></p>"), std::string::npos);
    EXPECT_LT(words, f.find("<div align=\"center\"><img recindex=\"00003\"/></div>"));
    EXPECT_EQ(warningsOf(diagnostics), "");
}

TEST(EpubReader, RefusesBooksThatCannotBeMade) {
    const std::string a = makeXhtml("<p>x</p>");
    const std::string item = items({"a", "a.xhtml", kXhtml});
    const std::pair<std::string, const char*> cases[] = {
        {test_support::buildZip({{"mimetype", "application/epub+zip", false}}), "container"},
        {test_support::buildZip({{"META-INF/container.xml",
                                  "<container><rootfiles><rootfile full-path=\"x.opf\" "
                                  "media-type=\"application/oebps-package+xml\"/></rootfiles></container>"}}),
         "x.opf"},
        {test_support::buildZip({{"META-INF/container.xml", "<container><rootfiles/></container>"}}), "container.xml"},
        {buildEpub("<package><manifest></package>", {}), "my content.opf"},
        {buildEpub(makeOpf("", item, "<itemref idref=\"a\"/>"), {}), "reading order"},
        {epubOf(makeOpf("", item, ""), {"a.xhtml", a}), "reading order"},
        {epubOf(makeOpf("", item, "<itemref idref=\"a\"/>"), {"../a.xhtml", a}), "outside"},
        {epubOf(makeOpf("", items({"s", "s.svg", kSvg}), "<itemref idref=\"s\"/>"), {"s.svg", "<svg/>"}), "nothing"},
        {"PK not really", "zip"},
    };
    for (const auto& [epub, message] : cases) {
        Diagnostics diagnostics;
        try {
            readEpubBook(epub, "fallback", diagnostics);
            ADD_FAILURE() << "no refusal mentioning " << message;
        } catch (const ConversionError& error) {
            EXPECT_NE(error.message.find(message), std::string::npos) << error.message;
        }
    }
}

TEST(HtmlReader, TitleImagesLinksAndHeadingToc) {
    const std::string html =
        "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title> My\n Page </title>"
        "<meta name=\"author\" content=\"Ann\"></head><body><h1>First</h1><p><a href=\"#later\">jump</a>"
        "<img src=\"img/a%20b.jpg\"><img src=\"missing.png\"><a href=\"other.html\">other</a></p>"
        "<h4>not a chapter</h4><h2 id=\"later\">Second</h2></body></html>";
    Diagnostics diagnostics;
    const Book book = readHtmlBook(html, "fallback", diagnostics, [](const std::string& path) {
        return path == "img/a b.jpg" ? std::optional<std::string>(kJpeg) : std::nullopt;  // the name decoded
    });
    EXPECT_EQ(book.metadata.title, "My Page");
    EXPECT_NE(book.flow.find("<img recindex=\"00001\"/><a>other</a>"), std::string::npos);
    EXPECT_EQ(linkTarget(book, "jump", 15), "<h2>Second</h2>");
    ASSERT_EQ(book.toc.size(), 2u);
    EXPECT_EQ(at(book, book.toc[0].filepos, 14), "<h1>First</h1>");
    ASSERT_EQ(book.kf8.documents.size(), 1u);  // the link and contents by id, the other file's link gone
    EXPECT_NE(book.kf8.documents[0].find("<a href=\"#kf8link:0:later\">jump</a>"), std::string::npos);
    ASSERT_EQ(book.kf8.toc.size(), 2u);
    expectKf8TargetsExist(book.kf8, "html");
}

void expectMobyDicksKf8Part(const Book& moby, const Diagnostics& diagnostics) {
    const Kf8Part& kf8 = moby.kf8;
    EXPECT_EQ(kf8.documents.size(), 144u);
    ASSERT_EQ(kf8.flowTypes, std::vector<std::string>{"text/css"});
    ASSERT_EQ(kf8.fonts.size(), 4u);
    for (const auto& font : kf8.fonts) EXPECT_EQ(font.data.substr(0, 4), "OTTO");
    ASSERT_GT(kf8.toc.size(), 130u);
    EXPECT_EQ(kf8.toc[4].title, "Chapter 1. Loomings.");
    EXPECT_NE(kf8.documents[kf8.toc[4].target.document].find("Call me Ishmael."), std::string::npos);
    EXPECT_TRUE(kf8.contents.has_value());
    EXPECT_NE(warningsOf(diagnostics).find("@media all and (orientation:landscape)"), std::string::npos);
}

TEST(CorpusBooks, EveryLinkAndTocEntryLandsOnATagAndMobyDicksKf8PartReadsBack) {
    const std::filesystem::path corpus = TOMEWRIGHT_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    bool sawMoby = false;
    for (const auto& file : std::filesystem::directory_iterator(corpus)) {
        Diagnostics diagnostics;
        const Book book = readEpubBook(test_support::readFile(file.path().string()), "fallback", diagnostics);
        const std::string name = file.path().filename().string();
        EXPECT_NE(book.metadata.title, "fallback") << name;
        EXPECT_TRUE(book.coverImage.has_value()) << name;
        EXPECT_FALSE(book.toc.empty()) << name;
        expectTargetsOnTags(book, name);
        expectKf8TargetsExist(book.kf8, name);
        EXPECT_EQ(warningsOf(diagnostics).find("leads nowhere"), std::string::npos) << name;
        if (name == "moby-dick.epub") sawMoby = true, expectMobyDicksKf8Part(book, diagnostics);
    }
    EXPECT_TRUE(sawMoby);
}

TEST(EpubReader, PicturesInTheSpineSvgImagesAndFontsReachTheKf8Part) {
    const std::string font = std::string("\0\1\0\0", 4) + std::string(1200, 'g');
    const std::string id = "urn:uuid:0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
    std::string obfuscated = font;
    const std::string key = sha1(id);
    for (std::size_t i = 0; i < 1040; ++i) obfuscated[i] = static_cast<char>(obfuscated[i] ^ key[i % key.size()]);
    const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 2 2\"><circle r=\"1\"/></svg>";
    const std::string opf = makeOpf("<dc:title>P</dc:title><dc:identifier id=\"uid\">" + id + "</dc:identifier>",
                                    items({"p", "p.png", "image/png", "v", "v.svg", kSvg, "a", "a.xhtml", kXhtml}),
                                    "<itemref idref=\"p\"/><itemref idref=\"v\"/><itemref idref=\"a\"/>");
    const std::string css =
        "@font-face {font-family: F; src: url(f%20x.ttf)} @font-face {font-family: W; src: url(w.woff)} p {color: red}";
    const std::string a =
        "<html><head><link rel=\"stylesheet\" href=\"s.css\"/><link rel=\"stylesheet\" href=\"gone.css\"/>"
        "</head><body><p><img src=\"v.svg\"/></p></body></html>";
    const std::string encryption =
        "<encryption xmlns:enc=\"http://www.w3.org/2001/04/xmlenc#\"><enc:EncryptedData><enc:EncryptionMethod "
        "Algorithm=\"http://www.idpf.org/2008/embedding\"/><enc:CipherData><enc:CipherReference "
        "URI=\"OEBPS/f%20x.ttf\"/></enc:CipherData></enc:EncryptedData></encryption>";
    const std::string epub =
        epubOf(opf, {"p.png", kPng, "v.svg", svg, "a.xhtml", a, "s.css", css, "f x.ttf", obfuscated, "w.woff", "wOFF"},
               {{"META-INF/encryption.xml", encryption}});
    Diagnostics diagnostics;
    const Book book = readEpubBook(epub, "fallback", diagnostics);
    const Kf8Part& kf8 = book.kf8;
    ASSERT_EQ(kf8.documents.size(), 3u);
    EXPECT_NE(kf8.documents[0].find("<img src=\"kindle:embed:0001?mime=image/png\""), std::string::npos);
    EXPECT_NE(kf8.documents[1].find("<img src=\"kindle:flow:0002?mime=image/svg+xml\""), std::string::npos);
    EXPECT_EQ(kf8.flowTypes, (std::vector<std::string>{"text/css", "image/svg+xml"}));
    // The picture and the SVG's rendering for the MOBI 6 part, then the font.
    EXPECT_NE(kf8.flows[0].find("src: url(kindle:embed:0003)"), std::string::npos);
    EXPECT_EQ(kf8.flows[0].find("w.woff"), std::string::npos);
    ASSERT_EQ(kf8.fonts.size(), 1u);
    EXPECT_EQ(kf8.fonts[0].data, font);
    for (const char* reported : {"w.woff", "gone.css"})
        EXPECT_NE(warningsOf(diagnostics).find(reported), std::string::npos) << reported;
}
