// Plain stored and deflated entries are read by every EPUB test; these are the refusals.
#include "mobigen/source/zip.h"
#include "mobigen/book.h"

#include "tests/support/books.h"

#include <gtest/gtest.h>

using namespace mobigen;
using test_support::buildZip;

namespace {

std::string refusal(const std::string& archive, const std::string& entry = {}, ZipLimits limits = {}) {
    try {
        ZipArchive zip(archive, limits);
        if (!entry.empty()) zip.read(entry);
    } catch (const ConversionError& error) {
        return error.message;
    }
    return {};
}

}  // namespace

TEST(ZipArchive, FindsNamesIgnoringCaseAndSkipsFolders) {
    const std::string archive = buildZip({{"OEBPS/", "", false}, {"OEBPS/Text/ch1.xhtml", "x"}});
    ZipArchive zip(archive);
    EXPECT_EQ(zip.names(), std::vector<std::string>{"OEBPS/Text/ch1.xhtml"});
    EXPECT_EQ(zip.find("oebps/text/CH1.xhtml"), "OEBPS/Text/ch1.xhtml");
    EXPECT_NE(refusal(archive, "OEBPS/ch2.xhtml").find("OEBPS/ch2.xhtml"), std::string::npos);
}

TEST(ZipArchive, RefusesNamesThatEscapeTheBook) {
    for (const char* name : {"../evil.xhtml", "OEBPS/../../evil", "/etc/passwd", "C:/Windows/x.dll", "c:evil",
                             "..\\evil", "OEBPS\\..\\..\\evil", "\\\\server\\share\\x"}) {
        const std::string message = refusal(buildZip({{"ok.txt", "x", false}, {name, "x"}}));
        EXPECT_NE(message.find(name), std::string::npos) << name << ": " << message;
    }
    EXPECT_TRUE(isSafeEntryName("OEBPS/a..b/c..xhtml"));
    EXPECT_TRUE(isSafeEntryName("OEBPS\\Text\\ch1.xhtml"));
}

TEST(ZipArchive, StopsABombWhileInflatingAndBoundsTheTotal) {
    // 64 MB of zeros that the header claims is 100 bytes.
    const std::string bomb = buildZip({{"bomb.xhtml", std::string(64u << 20, '\0'), true, 100u}});
    ASSERT_LT(bomb.size(), 200000u);
    const std::string message = refusal(bomb, "bomb.xhtml", {8u << 20, 1u << 30});
    EXPECT_NE(message.find("bomb.xhtml"), std::string::npos) << message;
    EXPECT_NE(message.find("8 MB"), std::string::npos) << message;

    // b and c each pass the budget left by a; b within the 64 KB chunk that crosses it.
    const std::string three = buildZip(
        {{"a", std::string(600000, 'x')}, {"b", std::string(420000, 'y')}, {"c", std::string(500000, 'z'), false}});
    ZipArchive zip(three, {1u << 30, 1000000});
    EXPECT_EQ(zip.read("a").size(), 600000u);
    EXPECT_THROW(zip.read("b"), ConversionError);
    EXPECT_THROW(zip.read("c"), ConversionError);
}

TEST(ZipArchive, ReportsDamage) {
    const std::string archive = buildZip({{"a.xhtml", std::string(5000, 'x')}});
    EXPECT_NE(refusal("not a zip at all, just some text that is long enough").find("not a zip"), std::string::npos);
    EXPECT_FALSE(refusal(archive.substr(0, archive.size() - 10)).empty());
    EXPECT_FALSE(refusal(archive.substr(40)).empty());
    std::string flipped = archive;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside the deflated data
    EXPECT_FALSE(refusal(flipped, "a.xhtml").empty());

    std::string wrongCrc = buildZip({{"s.txt", "stored", false}});
    const std::size_t central = wrongCrc.find("PK\x01\x02");
    wrongCrc[14] = static_cast<char>(wrongCrc[14] ^ 1);
    wrongCrc[central + 16] = static_cast<char>(wrongCrc[central + 16] ^ 1);
    EXPECT_NE(refusal(wrongCrc, "s.txt").find("checksum"), std::string::npos);
}
