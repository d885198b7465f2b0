#pragma once

// Fonts that EPUBs obfuscate (IDPF and Adobe schemes, named in META-INF/encryption.xml).

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

// Each path that encryption.xml lists, with its algorithm URI. Throws ConversionError on
// malformed XML.
std::map<std::string, std::string> readEncryptedPaths(std::string_view encryptionXml);

// The font with its obfuscation undone, using the package's unique identifier; nothing for
// an algorithm other than the two font schemes, or an identifier that cannot be a key.
std::optional<std::string> deobfuscateFont(std::string data, const std::string& algorithm,
                                           const std::string& identifier);

// SHA-1 of `data`: the 20-byte digest.
std::string sha1(std::string_view data);

}  // namespace mobigen
