#include "mobigen/text/language.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/code_points.h"

#include <array>
#include <cstdint>

namespace mobigen {
namespace {

// Frequent characters whose simplified and traditional forms differ, pair by pair, and that
// are not also a different word in the other script (unlike 后 or 里).
constexpr std::u32string_view kSimplified =
    U"这们个来说时为会国对过么还没现样经长问见开关门无与给话两听车东让边从头书实机动进种气间应点万岁爱学马龙义乐军将兴"
    U"亲贵觉";
constexpr std::u32string_view kTraditional =
    U"這們個來說時為會國對過麼還沒現樣經長問見開關門無與給話兩聽車東讓邊從頭書實機動進種氣間應點萬歲愛學馬龍義樂軍將興"
    U"親貴覺";

enum class Form : std::uint8_t { Shared, Simplified, Traditional };

constexpr std::uint32_t kUnifiedFirst = 0x4E00;
constexpr std::uint32_t kUnifiedEnd = 0xA000;

// A lookup table, so that an 8 MB novel costs one pass and no searching.
using FormTable = std::array<Form, kUnifiedEnd - kUnifiedFirst>;

constexpr FormTable makeFormTable() {
    FormTable table{};
    for (const char32_t c : kSimplified) table[c - kUnifiedFirst] = Form::Simplified;
    for (const char32_t c : kTraditional) table[c - kUnifiedFirst] = Form::Traditional;
    return table;
}

constexpr FormTable kForms = makeFormTable();

bool isHan(std::uint32_t c) { return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF); }

// The katakana middle dot and long vowel mark also appear in Chinese names, so they do not count.
bool isKana(std::uint32_t c) {
    return (c >= 0x3041 && c <= 0x309F) || (c >= 0x30A0 && c <= 0x30FA) || (c >= 0x31F0 && c <= 0x31FF);
}

bool isLatinLetter(std::uint32_t c) { return c < 0x80 && isAsciiLetter(static_cast<char>(c)); }

struct ScriptCounts {
    std::size_t han = 0;
    std::size_t kana = 0;
    std::size_t latinWords = 0;
    std::size_t simplified = 0;
    std::size_t traditional = 0;
};

ScriptCounts countScripts(std::string_view utf8) {
    ScriptCounts counts;
    bool inWord = false;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::uint32_t c = nextCodePoint(utf8, pos);
        const bool latin = isLatinLetter(c);
        if (latin && !inWord) ++counts.latinWords;
        inWord = latin;
        if (isKana(c)) ++counts.kana;
        if (!isHan(c)) continue;
        ++counts.han;
        if (c < kUnifiedFirst || c >= kUnifiedEnd) continue;
        const Form form = kForms[c - kUnifiedFirst];
        counts.simplified += form == Form::Simplified ? 1 : 0;
        counts.traditional += form == Form::Traditional ? 1 : 0;
    }
    return counts;
}

}  // namespace

std::string languageOfText(std::string_view utf8) {
    // A megabyte (some 300,000 characters) settles it; the rest of a long novel adds only time.
    constexpr std::size_t kEnough = 1 << 20;
    const ScriptCounts counts = countScripts(utf8.substr(0, kEnough));
    // A Chinese character carries about as much as a Latin word; a few names in an English
    // book do not make it Chinese, nor a few quoted Japanese words a Chinese book Japanese.
    const std::size_t cjk = counts.han + counts.kana;
    if (cjk == 0 || cjk < counts.latinWords) return {};
    if (counts.kana * 20 >= cjk) return "ja";
    return counts.traditional > counts.simplified ? "zh-TW" : "zh";
}

bool isTraditionalChinese(std::string_view language) {
    const std::string tag = lowerAscii(language);
    if (tag.compare(0, 2, "zh") != 0) return false;
    for (const char* marker : {"hant", "-tw", "-hk", "-mo", "_tw", "_hk", "_mo"})
        if (tag.find(marker) != std::string::npos) return true;
    return false;
}

}  // namespace mobigen
