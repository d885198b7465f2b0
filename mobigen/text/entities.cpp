#include "mobigen/text/entities.h"

#include "mobigen/text/ascii.h"
#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace mobigen {
namespace {

struct EntityName {
    const char* name;
    std::uint32_t codePoint;
};

// Latin-1 supplement, U+00A0 to U+00FF, in code point order.
constexpr std::array<const char*, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

// Greek small letters, U+03B1 to U+03C9; the capitals sit 0x20 lower, except final sigma.
constexpr std::array<const char*, 25> kGreekNames = {
    "alpha", "beta",    "gamma", "delta", "epsilon", "zeta",  "eta", "theta",   "iota", "kappa", "lambda", "mu",   "nu",
    "xi",    "omicron", "pi",    "rho",   "sigmaf",  "sigma", "tau", "upsilon", "phi",  "chi",   "psi",    "omega"};
constexpr std::array<const char*, 25> kGreekCapitalNames = {
    "Alpha", "Beta",    "Gamma", "Delta", "Epsilon", "Zeta",  "Eta", "Theta",   "Iota", "Kappa", "Lambda", "Mu",   "Nu",
    "Xi",    "Omicron", "Pi",    "Rho",   nullptr,   "Sigma", "Tau", "Upsilon", "Phi",  "Chi",   "Psi",    "Omega"};

constexpr EntityName kOtherEntities[] = {
    {"quot", 34},     {"amp", 38},       {"apos", 39},     {"lt", 60},       {"gt", 62},       {"OElig", 338},
    {"oelig", 339},   {"Scaron", 352},   {"scaron", 353},  {"Yuml", 376},    {"fnof", 402},    {"circ", 710},
    {"tilde", 732},   {"thetasym", 977}, {"upsih", 978},   {"piv", 982},     {"ensp", 8194},   {"emsp", 8195},
    {"thinsp", 8201}, {"zwnj", 8204},    {"zwj", 8205},    {"lrm", 8206},    {"rlm", 8207},    {"ndash", 8211},
    {"mdash", 8212},  {"lsquo", 8216},   {"rsquo", 8217},  {"sbquo", 8218},  {"ldquo", 8220},  {"rdquo", 8221},
    {"bdquo", 8222},  {"dagger", 8224},  {"Dagger", 8225}, {"bull", 8226},   {"hellip", 8230}, {"permil", 8240},
    {"prime", 8242},  {"Prime", 8243},   {"lsaquo", 8249}, {"rsaquo", 8250}, {"oline", 8254},  {"frasl", 8260},
    {"euro", 8364},   {"image", 8465},   {"weierp", 8472}, {"real", 8476},   {"trade", 8482},  {"alefsym", 8501},
    {"larr", 8592},   {"uarr", 8593},    {"rarr", 8594},   {"darr", 8595},   {"harr", 8596},   {"crarr", 8629},
    {"lArr", 8656},   {"uArr", 8657},    {"rArr", 8658},   {"dArr", 8659},   {"hArr", 8660},   {"forall", 8704},
    {"part", 8706},   {"exist", 8707},   {"empty", 8709},  {"nabla", 8711},  {"isin", 8712},   {"notin", 8713},
    {"ni", 8715},     {"prod", 8719},    {"sum", 8721},    {"minus", 8722},  {"lowast", 8727}, {"radic", 8730},
    {"prop", 8733},   {"infin", 8734},   {"ang", 8736},    {"and", 8743},    {"or", 8744},     {"cap", 8745},
    {"cup", 8746},    {"int", 8747},     {"there4", 8756}, {"sim", 8764},    {"cong", 8773},   {"asymp", 8776},
    {"ne", 8800},     {"equiv", 8801},   {"le", 8804},     {"ge", 8805},     {"sub", 8834},    {"sup", 8835},
    {"nsub", 8836},   {"sube", 8838},    {"supe", 8839},   {"oplus", 8853},  {"otimes", 8855}, {"perp", 8869},
    {"sdot", 8901},   {"lceil", 8968},   {"rceil", 8969},  {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001},
    {"rang", 9002},   {"loz", 9674},     {"spades", 9824}, {"clubs", 9827},  {"hearts", 9829}, {"diams", 9830}};

std::vector<EntityName> buildEntityTable() {
    std::vector<EntityName> table(std::begin(kOtherEntities), std::end(kOtherEntities));
    for (std::uint32_t i = 0; i < kLatin1Names.size(); ++i) table.push_back({kLatin1Names[i], 0xA0 + i});
    for (std::uint32_t i = 0; i < kGreekNames.size(); ++i) {
        table.push_back({kGreekNames[i], 0x3B1 + i});
        if (kGreekCapitalNames[i] != nullptr) table.push_back({kGreekCapitalNames[i], 0x391 + i});
    }
    std::sort(table.begin(), table.end(),
              [](const EntityName& a, const EntityName& b) { return std::strcmp(a.name, b.name) < 0; });
    return table;
}

const std::vector<EntityName>& entityTable() {
    static const std::vector<EntityName> table = buildEntityTable();
    return table;
}

bool isLegacyBareEntity(std::string_view name) {
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "nbsp" || name == "copy";
}

// Parses "#123;" or "#x1F;" after the '&'. Returns the characters consumed, 0 if none.
std::size_t parseNumericReference(std::string_view rest, std::uint32_t& codePoint) {
    std::size_t i = 1;
    const bool hex = i < rest.size() && (rest[i] == 'x' || rest[i] == 'X');
    if (hex) ++i;
    const std::size_t digitsStart = i;
    std::uint32_t value = 0;
    for (; i < rest.size(); ++i) {
        const int digit = hex ? hexDigitValue(rest[i]) : (rest[i] >= '0' && rest[i] <= '9' ? rest[i] - '0' : -1);
        if (digit < 0) break;
        if (value <= 0x10FFFF) value = value * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
    }
    if (i == digitsStart) return 0;
    if (i < rest.size() && rest[i] == ';') ++i;
    codePoint = value;
    return i;
}

}  // namespace

std::optional<std::uint32_t> namedEntity(std::string_view name) {
    const auto& table = entityTable();
    const auto it = std::lower_bound(table.begin(), table.end(), name, [](const EntityName& e, std::string_view n) {
        return std::string_view(e.name) < n;
    });
    if (it == table.end() || std::string_view(it->name) != name) return std::nullopt;
    return it->codePoint;
}

std::string decodeEntities(std::string_view text, EntityContext context) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\0') {
            platform::appendCodePoint(0xFFFD, out);
            ++i;
            continue;
        }
        if (c != '&') {
            // Copied a run at a time: most text has no reference at all.
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '&' && text[end] != '\0') ++end;
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        const std::string_view rest = text.substr(i + 1);
        std::uint32_t codePoint = 0;
        if (!rest.empty() && rest[0] == '#') {
            const std::size_t used = parseNumericReference(rest, codePoint);
            if (used > 0) {
                // The flow never carries a NUL.
                platform::appendCodePoint(codePoint == 0 ? 0xFFFD : codePoint, out);
                i += 1 + used;
                continue;
            }
        } else {
            std::size_t n = 0;
            while (n < rest.size() && n < 32 && isAsciiAlnum(rest[n])) ++n;
            const std::string_view name = rest.substr(0, n);
            const bool terminated = n < rest.size() && rest[n] == ';';
            if (n > 0 && (terminated || (context == EntityContext::Text && isLegacyBareEntity(name)))) {
                if (const auto known = namedEntity(name)) {
                    platform::appendCodePoint(*known, out);
                    i += 1 + n + (terminated ? 1 : 0);
                    continue;
                }
            }
        }
        out += '&';
        ++i;
    }
    return out;
}

void appendEscaped(std::string& out, std::string_view text, EntityContext context) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            if (context == EntityContext::Attribute) {
                out += "&quot;";
            } else {
                out += c;
            }
            break;
        default:
            out += c;
        }
    }
}

namespace {

bool isNameStart(unsigned char c) { return isAsciiLetter(static_cast<char>(c)) || c == '_' || c >= 0x80; }
bool isNameChar(unsigned char c) {
    return isNameStart(c) || isAsciiDigit(static_cast<char>(c)) || c == '-' || c == '.';
}

}  // namespace

std::string xmlId(std::string_view id) {
    std::string out;
    for (const char c : id) out += isNameChar(static_cast<unsigned char>(c)) ? c : '_';
    if (out.empty() || !isNameStart(static_cast<unsigned char>(out[0]))) out.insert(0, "id_");
    return out;
}

void appendXmlEscaped(std::string& out, std::string_view text, bool attribute, bool keepLateMarks) {
    const EntityContext context = attribute ? EntityContext::Attribute : EntityContext::Text;
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // C0 controls other than white space, and U+FFFE/U+FFFF, are not XML characters.
        const bool control =
            c < 0x20 && c != '\t' && c != '\n' && c != '\r' && !(keepLateMarks && c == kLateNumberMark);
        const bool nonCharacter = c == 0xEF && text.substr(i + 1, 1) == "\xBF" && i + 2 < text.size() &&
                                  (text[i + 2] == '\xBE' || text[i + 2] == '\xBF');
        if (!control && !nonCharacter) continue;
        appendEscaped(out, text.substr(run, i - run), context);
        if (nonCharacter) i += 2;
        run = i + 1;
    }
    appendEscaped(out, text.substr(run), context);
}

void appendXmlAttribute(std::string& out, std::string_view name, std::string_view value, bool keepLateMarks) {
    out += ' ';
    out += name;
    out += "=\"";
    appendXmlEscaped(out, value, true, keepLateMarks);
    out += '"';
}

}  // namespace mobigen
