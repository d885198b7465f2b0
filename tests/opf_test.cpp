#include "mobigen/source/opf.h"
#include "mobigen/source/xml.h"

#include "tests/support/books.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ConversionError& error) {
        return error.message;
    }
    return {};
}

}  // namespace

TEST(Xml, MalformedDocumentsAreRefusedNamingTheFileAndLine) {
    const std::string mismatch = errorOf([] { parseXml("<a>\n<b>\n</a>", "OEBPS/content.opf"); });
    EXPECT_NE(mismatch.find("OEBPS/content.opf"), std::string::npos);
    EXPECT_NE(mismatch.find("line 3"), std::string::npos);
    for (const std::string& xml :
         {std::string("<a><b></b>"), std::string("just text"), std::string("\xFF\xFE<\0a\0/\0>\0", 10)})
        EXPECT_FALSE(errorOf([&] { parseXml(xml, "x"); }).empty()) << xml;
    EXPECT_NE(errorOf([] { parseXml(test_support::repeat("<a>", 100000), "x"); }).find("deeply"), std::string::npos);
}

TEST(Opf, ReadsEpub2Metadata) {
    // A byte order mark and a comment first, as some books have.
    const std::string opf =
        "\xEF\xBB\xBF<!-- made by hand -->" +
        test_support::makeOpf(
            "<dc:title></dc:title><dc:title>  The\n Title </dc:title><dc:creator opf:role=\"aut\">Ann</dc:creator>"
            "<dc:creator>Bob</dc:creator><dc:creator "
            "opf:role=\"ill\">Ivy</dc:creator><dc:contributor>Carl</dc:contributor>"
            "<dc:language>zh-CN</dc:language><dc:publisher>P &amp; Q</dc:publisher>"
            "<dc:date opf:event=\"modification\">2020</dc:date><dc:date opf:event=\"publication\">1999-01-02</dc:date>"
            "<dc:description>&lt;p&gt;About&lt;/p&gt;</dc:description><dc:subject>A</dc:subject><dc:subject>B</"
            "dc:subject>"
            "<dc:identifier id=\"other\">urn:uuid:1</dc:identifier><dc:identifier id=\"uid\" "
            "opf:scheme=\"ISBN\">978-7-02-000220-7</dc:identifier>"
            "<dc:rights>PD</dc:rights><meta name=\"cover\" content=\"images/c.jpg\"/>",
            "<item id=\"c1\" href=\"Text/ch%201.xhtml\" media-type=\"application/xhtml+xml\"/>"
            "<item id=\"img\" href=\"images/c.jpg\" media-type=\"image/jpeg\"/>"
            "<item id=\"bad\" href=\"../../x.xhtml\" media-type=\"application/xhtml+xml\"/>"
            "<item id=\"c2\" href=\"ch2.xhtml\" media-type=\"application/xhtml+xml\"/>",
            "<itemref idref=\"c1\" linear=\"no\"/><itemref idref=\"c2\"/>", " toc=\"ncx\"");
    Diagnostics diagnostics;
    const Package p = parsePackage(opf, "OEBPS/content.opf", diagnostics);
    const Metadata& m = p.metadata;
    EXPECT_EQ(m.authors, (std::vector<std::string>{"Ann", "Bob"}));
    EXPECT_EQ(m.contributors, (std::vector<std::string>{"Ivy", "Carl"}));
    EXPECT_EQ(m.subjects, (std::vector<std::string>{"A", "B"}));
    // The cover is named by its file rather than its id.
    EXPECT_EQ((std::vector<std::string>{m.title, m.language, m.publisher, m.date, m.description, m.identifier, m.isbn,
                                        m.rights, p.coverImageId, p.ncxId}),
              (std::vector<std::string>{"The Title", "zh-CN", "P & Q", "1999-01-02", "<p>About</p>",
                                        "978-7-02-000220-7", "9787020002207", "PD", "img", "ncx"}));
    EXPECT_EQ(p.item("c1")->path, "OEBPS/Text/ch 1.xhtml");
    EXPECT_EQ(p.item("bad"), nullptr);
    EXPECT_EQ(diagnostics.warnings.size(), 1u);
    ASSERT_EQ(p.spine.size(), 2u);
    EXPECT_EQ(p.spine[0].idref + p.spine[1].idref, "c2c1");  // linear="no" goes last
}

TEST(Opf, ACreatorIsAnAuthorWhenAnyRoleIsAutOrNoneIsGiven) {
    const std::string opf = test_support::makeOpf(
        "<dc:title>T</dc:title>"
        "<dc:creator id=\"c1\">Annotating Author</dc:creator><meta refines=\"#c1\" property=\"role\">ann</meta>"
        "<meta refines=\"#c1\" property=\"role\"> AUT </meta><meta refines=\"#c1\" property=\"role\">dto</meta>"
        "<dc:creator id=\"c2\">Annotator</dc:creator><meta refines=\"#c2\" property=\"role\">ann</meta>"
        "<meta refines=\"#c2\" property=\"role\">dto</meta>"
        "<dc:creator id=\"c3\">Plain</dc:creator><dc:creator opf:role=\"Aut\">Legacy</dc:creator>"
        "<dc:creator opf:role=\"trl\" id=\"c5\">Translator</dc:creator>",
        "", "");
    Diagnostics diagnostics;
    const Metadata m = parsePackage(opf, "content.opf", diagnostics).metadata;
    EXPECT_EQ(m.authors, (std::vector<std::string>{"Annotating Author", "Plain", "Legacy"}));
    EXPECT_EQ(m.contributors, (std::vector<std::string>{"Annotator", "Translator"}));
}

TEST(Opf, RefusesPackagesWithoutSpineOrManifest) {
    const std::pair<const char*, const char*> cases[] = {{"<package><metadata/><manifest/></package>", "spine"},
                                                         {"<package><spine/></package>", "manifest"},
                                                         {"<html/>", "a.opf"}};
    for (const auto& [opf, message] : cases) {
        Diagnostics diagnostics;
        EXPECT_NE(errorOf([&, opf = opf] { parsePackage(opf, "a.opf", diagnostics); }).find(message), std::string::npos)
            << opf;
    }
}

TEST(Opf, RecognisesIsbnsByTheirCheckDigit) {
    EXPECT_EQ(isbnFromIdentifier("urn:isbn:9780306406157", false), "9780306406157");
    EXPECT_EQ(isbnFromIdentifier("080442957X", false), "080442957X");
    for (const char* notAnIsbn : {"9780306406158", "1234567890123", "urn:uuid:12345678"})
        EXPECT_EQ(isbnFromIdentifier(notAnIsbn, false), "") << notAnIsbn;
    EXPECT_EQ(isbnFromIdentifier("X804429570", true), "");
}
