#include "mobigen/book.h"
#include "mobigen/zip.h"

#include "zip_builder.h"

#include <gtest/gtest.h>

using namespace mobigen;
using readers_test::buildZip;
using readers_test::ZipEntrySpec;

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

TEST(ZipArchive, ReadsStoredAndDeflatedEntries) {
    const std::string text(100000, 'a');
    const std::string archive = buildZip({{"mimetype", "application/epub+zip", false, {}},
                                          {"OEBPS/Text/ch1.xhtml", text, true, {}},
                                          {"OEBPS/", "", false, {}}});
    ZipArchive zip(archive);
    EXPECT_EQ(zip.names(), (std::vector<std::string>{"mimetype", "OEBPS/Text/ch1.xhtml"}));
    EXPECT_EQ(zip.read("mimetype"), "application/epub+zip");
    EXPECT_EQ(zip.read("OEBPS/Text/ch1.xhtml"), text);
    EXPECT_EQ(zip.find("oebps/text/CH1.xhtml"), "OEBPS/Text/ch1.xhtml");
    EXPECT_FALSE(zip.contains("OEBPS/ch2.xhtml"));
    EXPECT_NE(refusal(archive, "OEBPS/ch2.xhtml").find("OEBPS/ch2.xhtml"), std::string::npos);
}

TEST(ZipArchive, RefusesNamesThatEscapeTheBook) {
    for (const char* name : {"../evil.xhtml", "OEBPS/../../evil", "/etc/passwd", "C:/Windows/x.dll", "c:evil",
                             "..\\evil", "OEBPS\\..\\..\\evil", "\\\\server\\share\\x"}) {
        const std::string message = refusal(buildZip({{"ok.txt", "x", false, {}}, {name, "x", true, {}}}));
        EXPECT_NE(message.find(name), std::string::npos) << name << ": " << message;
        EXPECT_FALSE(isSafeEntryName(name)) << name;
    }
    EXPECT_TRUE(isSafeEntryName("OEBPS/a..b/c..xhtml"));
    EXPECT_TRUE(isSafeEntryName("OEBPS\\Text\\ch1.xhtml"));
}

TEST(ZipArchive, StopsAZipBombWhileInflating) {
    // 64 MB of zeros that the header claims is 100 bytes.
    const std::string archive = buildZip({{"bomb.xhtml", std::string(64u << 20, '\0'), true, 100u}});
    ASSERT_LT(archive.size(), 200000u);
    ZipLimits limits;
    limits.maxEntryBytes = 8u << 20;
    const std::string message = refusal(archive, "bomb.xhtml", limits);
    EXPECT_NE(message.find("bomb.xhtml"), std::string::npos) << message;
    EXPECT_NE(message.find("8 MB"), std::string::npos) << message;
}

TEST(ZipArchive, BoundsTheTotalOfEverythingRead) {
    const std::string archive = buildZip({{"a", std::string(600000, 'x'), true, {}}, {"b", std::string(600000, 'y'), false, {}}});
    ZipLimits limits;
    limits.maxTotalBytes = 1000000;
    ZipArchive zip(archive, limits);
    EXPECT_EQ(zip.read("a").size(), 600000u);
    EXPECT_THROW(zip.read("b"), ConversionError);
    EXPECT_EQ(ZipLimits().maxTotalBytes, 1ull << 30);
}

TEST(ZipArchive, ReportsDamage) {
    const std::string archive = buildZip({{"a.xhtml", std::string(5000, 'x'), true, {}}});
    EXPECT_NE(refusal("not a zip at all, just some text that is long enough").find("not a zip"), std::string::npos);
    EXPECT_FALSE(refusal(archive.substr(0, archive.size() - 10)).empty());
    EXPECT_FALSE(refusal(archive.substr(40)).empty());

    std::string flipped = archive;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside the deflated data
    EXPECT_FALSE(refusal(flipped, "a.xhtml").empty());

    std::string wrongCrc = buildZip({{"s.txt", "stored", false, {}}});
    wrongCrc[14] = static_cast<char>(wrongCrc[14] ^ 1);
    const std::size_t central = wrongCrc.find("PK\x01\x02");
    wrongCrc[central + 16] = static_cast<char>(wrongCrc[central + 16] ^ 1);
    EXPECT_NE(refusal(wrongCrc, "s.txt").find("checksum"), std::string::npos);
}
