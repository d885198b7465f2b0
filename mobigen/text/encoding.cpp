#include "mobigen/text/encoding.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/chinese_reading.h"

#include "platform/code_pages.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

namespace mobigen {
namespace {

// Tags longer than this are not meta tags worth reading.
constexpr std::size_t kMaxMetaTagLength = 1024;

bool isLabelChar(char c) { return isAsciiAlnum(c) || c == '-' || c == '_' || c == ':' || c == '.'; }

// The value after "charset", as in charset="gbk" or content="text/html; charset=gbk".
std::optional<std::string> charsetInTag(std::string_view tag) {
    for (std::size_t at = 0; (at = tag.find_first_of("cC", at)) != std::string_view::npos; ++at) {
        if (!startsWithNoCase(tag, at, "charset")) continue;
        std::size_t i = at + 7;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && (std::isspace(static_cast<unsigned char>(tag[i])) || tag[i] == '"' || tag[i] == '\''))
            ++i;
        std::string label;
        while (i < tag.size() && isLabelChar(tag[i])) label.push_back(lowerAscii(tag[i++]));
        if (!label.empty()) return label;
    }
    return std::nullopt;
}

// The first <meta> anywhere in the file that names a charset.
std::optional<std::string> declaredCharset(std::string_view bytes) {
    for (std::size_t at = 0; (at = bytes.find('<', at)) != std::string_view::npos; ++at) {
        if (!startsWithNoCase(bytes, at + 1, "meta")) continue;
        const std::size_t end = bytes.find('>', at);
        const std::size_t length =
            std::min(end == std::string_view::npos ? bytes.size() - at : end - at, kMaxMetaTagLength);
        if (auto label = charsetInTag(bytes.substr(at, length))) return label;
    }
    return std::nullopt;
}

std::optional<unsigned> codePageForLabel(const std::string& label) {
    static const std::pair<const char*, unsigned> names[] = {
        {"utf-8", 65001},
        {"utf8", 65001},
        {"unicode-1-1-utf-8", 65001},
        // A UTF-16 label without a byte-order mark cannot be right: browsers read UTF-8.
        {"utf-16", 65001},
        {"utf-16le", 65001},
        {"utf-16be", 65001},
        {"gbk", 936},
        {"gb2312", 936},
        {"gb_2312-80", 936},
        {"x-gbk", 936},
        {"cp936", 936},
        {"ms936", 936},
        {"windows-936", 936},
        {"csgb2312", 936},
        {"chinese", 936},
        {"gb18030", 54936},
        {"big5", 950},
        {"big5-hkscs", 950},
        {"cn-big5", 950},
        {"x-x-big5", 950},
        {"csbig5", 950},
        {"cp950", 950},
        {"shift_jis", 932},
        {"shift-jis", 932},
        {"sjis", 932},
        {"x-sjis", 932},
        {"ms_kanji", 932},
        {"csshiftjis", 932},
        {"windows-31j", 932},
        {"cp932", 932},
        {"ms932", 932},
        {"euc-jp", 20932},
        {"euc-kr", 949},
        {"ks_c_5601-1987", 949},
        {"cp949", 949},
        {"windows-949", 949},
        {"koi8-r", 20866},
        {"koi8-u", 21866},
        // Browsers read Latin-1 and ASCII labels as windows-1252, its superset.
        {"iso-8859-1", 1252},
        {"iso8859-1", 1252},
        {"latin1", 1252},
        {"l1", 1252},
        {"us-ascii", 1252},
        {"ascii", 1252},
        {"iso_8859-1", 1252},
        {"iso-8859-2", 28592},
        {"iso-8859-3", 28593},
        {"iso-8859-4", 28594},
        {"iso-8859-5", 28595},
        {"iso-8859-6", 28596},
        {"iso-8859-7", 28597},
        {"iso-8859-8", 28598},
        {"iso-8859-9", 28599},
        {"iso-8859-13", 28603},
        {"iso-8859-15", 28605},
    };
    for (const auto& [name, codePage] : names)
        if (label == name) return codePage;
    for (const char* prefix : {"windows-125", "cp125", "x-cp125"}) {
        const std::string p(prefix);
        if (label.size() == p.size() + 1 && label.compare(0, p.size(), p) == 0 && label.back() >= '0' &&
            label.back() <= '8')
            return 1250 + static_cast<unsigned>(label.back() - '0');
    }
    return std::nullopt;
}

std::string codePageName(unsigned codePage) {
    switch (codePage) {
    case 65001:
        return "UTF-8";
    case 936:
        return "GBK";
    case 54936:
        return "GB18030";
    case 950:
        return "Big5";
    case 932:
        return "Shift_JIS";
    default:
        return "code page " + std::to_string(codePage);
    }
}

std::string decodeWith(std::string_view bytes, unsigned codePage, const std::string& name, Diagnostics& diagnostics) {
    std::optional<platform::Decoded> decoded = platform::decodeCodePage(bytes, codePage);
    if (!decoded) {
        // Nothing better is left than keeping every valid UTF-8 byte.
        diagnostics.warn(name + " cannot be decoded on this system; the text was read as UTF-8.");
        decoded = platform::decodeCodePage(bytes, platform::kCodePageUtf8);
    }
    if (decoded->invalidBytes > 0)
        diagnostics.warn(std::to_string(decoded->invalidBytes) + " invalid bytes in the " + name +
                         " text were replaced by U+FFFD.");
    return std::move(decoded->utf8);
}

struct Bom {
    std::string_view mark;
    std::optional<platform::ByteOrder> utf16;
};

std::optional<Bom> byteOrderMark(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Bom{bytes.substr(0, 3), std::nullopt};
    if (bytes.substr(0, 2) == "\xFF\xFE") return Bom{bytes.substr(0, 2), platform::ByteOrder::Little};
    if (bytes.substr(0, 2) == "\xFE\xFF") return Bom{bytes.substr(0, 2), platform::ByteOrder::Big};
    return std::nullopt;
}

std::string decodeUtf16(std::string_view bytes, platform::ByteOrder order, Diagnostics& diagnostics) {
    std::string out;
    const std::size_t invalid = platform::appendUtf16AsUtf8(bytes, order, out);
    if (invalid > 0)
        diagnostics.warn(std::to_string(invalid) + " invalid bytes in the UTF-16 text were replaced by U+FFFD.");
    return out;
}

}  // namespace

std::string decodeHtmlToUtf8(std::string_view bytes, Diagnostics& diagnostics) {
    if (const std::optional<Bom> bom = byteOrderMark(bytes)) {
        const std::string_view rest = bytes.substr(bom->mark.size());
        if (bom->utf16) return decodeUtf16(rest, *bom->utf16, diagnostics);
        return decodeWith(rest, platform::kCodePageUtf8, "UTF-8", diagnostics);
    }
    if (const std::optional<std::string> label = declaredCharset(bytes)) {
        if (const std::optional<unsigned> codePage = codePageForLabel(*label))
            return decodeWith(bytes, *codePage, *label, diagnostics);
        diagnostics.warn("Unknown charset \"" + *label + "\" declared; the encoding was detected instead.");
    }
    if (platform::isValidUtf8(bytes)) return std::string(bytes);
    unsigned fallback = platform::fallbackCodePage();
    if (isChineseCodePage(fallback)) fallback = likelierChineseCodePage(bytes, fallback);
    return decodeWith(bytes, fallback, codePageName(fallback), diagnostics);
}

}  // namespace mobigen
