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

// Marks a number filled in once the whole book is read (KF8 font and SVG flow numbers). It is
// not an XML character, so the source's own text can never carry one into the markup.
inline constexpr char kLateNumberMark = '\x01';

// Escapes markup characters and leaves out characters XML forbids (but late-number marks in
// values the book made, with `keepLateMarks`).
void appendXmlEscaped(std::string& out, std::string_view text, bool attribute, bool keepLateMarks = false);

// ` name="value"`, the value escaped as above.
void appendXmlAttribute(std::string& out, std::string_view name, std::string_view value, bool keepLateMarks = false);

// An id as XML allows it (a name without colons). Links to it must map their id the same way.
std::string xmlId(std::string_view id);

}  // namespace mobigen
