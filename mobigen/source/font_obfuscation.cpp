#include "mobigen/source/font_obfuscation.h"

#include "mobigen/source/href.h"
#include "mobigen/source/xml.h"
#include "mobigen/text/ascii.h"

#include <array>
#include <cstdint>

namespace mobigen {
namespace {

constexpr std::string_view kIdpfAlgorithm = "http://www.idpf.org/2008/embedding";
constexpr std::string_view kAdobeAlgorithm = "http://ns.adobe.com/pdf/enc#RC";

std::uint32_t rotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

void sha1Block(std::array<std::uint32_t, 5>& h, const unsigned char* block) {
    std::array<std::uint32_t, 80> w{};
    for (int i = 0; i < 16; ++i) {
        w[i] = static_cast<std::uint32_t>(block[i * 4]) << 24 | static_cast<std::uint32_t>(block[i * 4 + 1]) << 16 |
               static_cast<std::uint32_t>(block[i * 4 + 2]) << 8 | block[i * 4 + 3];
    }
    for (int i = 16; i < 80; ++i) w[i] = rotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f = 0, k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t t = rotateLeft(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

std::string xorPrefix(std::string data, const std::string& key, std::size_t length) {
    for (std::size_t i = 0; i < data.size() && i < length; ++i)
        data[i] = static_cast<char>(data[i] ^ key[i % key.size()]);
    return data;
}

// The 16 bytes of a "urn:uuid:" identifier.
std::optional<std::string> adobeKey(const std::string& identifier) {
    std::string hex;
    for (const char c : lowerAscii(identifier).substr(lowerAscii(identifier).rfind(':') + 1)) {
        if (hexDigitValue(c) >= 0) hex += c;
    }
    if (hex.size() != 32) return std::nullopt;
    std::string key;
    for (std::size_t i = 0; i < 32; i += 2)
        key += static_cast<char>(hexDigitValue(hex[i]) * 16 + hexDigitValue(hex[i + 1]));
    return key;
}

}  // namespace

std::string sha1(std::string_view data) {
    std::array<std::uint32_t, 5> h = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string padded(data);
    padded += '\x80';
    while (padded.size() % 64 != 56) padded += '\0';
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (int i = 7; i >= 0; --i) padded += static_cast<char>((bits >> (i * 8)) & 0xFF);
    for (std::size_t at = 0; at < padded.size(); at += 64)
        sha1Block(h, reinterpret_cast<const unsigned char*>(padded.data() + at));
    std::string digest;
    for (const std::uint32_t word : h) {
        for (int i = 3; i >= 0; --i) digest += static_cast<char>((word >> (i * 8)) & 0xFF);
    }
    return digest;
}

std::map<std::string, std::string> readEncryptedPaths(std::string_view encryptionXml) {
    std::map<std::string, std::string> paths;
    const XmlNode root = parseXml(encryptionXml, "META-INF/encryption.xml");
    for (const XmlNode* data : root.childrenNamed("encrypteddata")) {
        const std::string& algorithm = data->child("encryptionmethod").attributeLocal("algorithm");
        const std::string& uri = findDescendant(*data, "cipherreference").attributeLocal("uri");
        if (!uri.empty()) paths[percentDecode(uri)] = algorithm;
    }
    return paths;
}

std::optional<std::string> deobfuscateFont(std::string data, const std::string& algorithm,
                                           const std::string& identifier) {
    if (algorithm == kIdpfAlgorithm) {
        std::string trimmed;
        for (const char c : identifier) {
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') trimmed += c;
        }
        return xorPrefix(std::move(data), sha1(trimmed), 1040);
    }
    if (algorithm == kAdobeAlgorithm) {
        const auto key = adobeKey(identifier);
        if (!key) return std::nullopt;
        return xorPrefix(std::move(data), *key, 1024);
    }
    return std::nullopt;
}

}  // namespace mobigen
