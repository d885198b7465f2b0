#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

// The code point of an HTML 4 named entity (plus apos), or nothing.
std::optional<std::uint32_t> namedEntity(std::string_view name);

enum class EntityContext { Text, Attribute };

// Replaces character references with UTF-8. Unknown references stay as written. In text,
// the few legacy names browsers accept without ';' are honoured; attributes need the ';'
// (so query strings such as "?a=1&copy=2" survive).
std::string decodeEntities(std::string_view text, EntityContext context);

// Escapes & < > (and " for attribute values).
void appendEscaped(std::string& out, std::string_view text, EntityContext context);

}  // namespace mobigen
