#include "mobigen/source/font_obfuscation.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

std::string hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string xorWith(std::string data, const std::string& key, std::size_t length) {
    for (std::size_t i = 0; i < data.size() && i < length; ++i)
        data[i] = static_cast<char>(data[i] ^ key[i % key.size()]);
    return data;
}

}  // namespace

TEST(FontObfuscation, Sha1MatchesItsPublishedVectors) {
    EXPECT_EQ(hex(sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex(sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex(sha1(std::string(1000000, 'a'))), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// encryption.xml is read in reader_test's book with an obfuscated font.
TEST(FontObfuscation, BothSchemesAreUndoneAndOthersRefused) {
    const std::string font = std::string("\0\1\0\0", 4) + std::string(2000, 'f');
    const std::string id = "urn:uuid:0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
    std::string adobeKey;
    for (const char* pair = "0a1b2c3d4e5f60718293a4b5c6d7e8f9"; *pair != 0; pair += 2)
        adobeKey += static_cast<char>(std::stoi(std::string(pair, 2), nullptr, 16));
    EXPECT_EQ(deobfuscateFont(xorWith(font, sha1(id), 1040), "http://www.idpf.org/2008/embedding", " " + id + "\n"),
              font);
    EXPECT_EQ(deobfuscateFont(xorWith(font, adobeKey, 1024), "http://ns.adobe.com/pdf/enc#RC", id), font);
    EXPECT_EQ(deobfuscateFont(font, "http://ns.adobe.com/pdf/enc#RC", "isbn:123"), std::nullopt);
    EXPECT_EQ(deobfuscateFont(font, "http://www.w3.org/2001/04/xmlenc#aes128-cbc", id), std::nullopt);
}
