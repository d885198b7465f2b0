#include "mobigen/outline/chapters.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/code_points.h"

#include <algorithm>
#include <cstdint>

namespace mobigen {
namespace {

constexpr std::size_t kMaxChineseHeading = 40;  // code points
constexpr std::size_t kMaxEnglishHeading = 60;
constexpr int kMaxEnglishWords = 10;

std::u32string decode(std::string_view s) {
    std::u32string out;
    for (std::size_t pos = 0; pos < s.size();) out += nextCodePoint(s, pos);
    return out;
}

bool isLineSpace(std::uint32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == 0xA0 || c == 0x3000; }

bool isChineseNumeral(char32_t c) {
    return std::u32string_view(
               U"零〇○一二三四五六七八九十百千万两壹贰叁肆伍陆柒捌玖拾佰仟0123456789０１２３４５６７８９")
               .find(c) != std::u32string_view::npos;
}

bool isVolumeUnit(char32_t c) { return c == U'卷' || c == U'部'; }
bool isChapterUnit(char32_t c) { return std::u32string_view(U"章回节篇集幕话折").find(c) != std::u32string_view::npos; }

bool isSentencePunctuation(char32_t c) {
    return std::u32string_view(U"。，；！？,;!?").find(c) != std::u32string_view::npos;
}

bool isSeparator(char32_t c) {
    return isLineSpace(c) || std::u32string_view(U"：:·、—-.．").find(c) != std::u32string_view::npos;
}

// The word alone, or followed by a separator and a title.
bool startsWithWord(std::u32string_view line, std::u32string_view word) {
    return line.substr(0, word.size()) == word && (line.size() == word.size() || isSeparator(line[word.size()]));
}

// 章, 回 and 卷 may run straight into the title ("第一章风起"); rarer units such as 节 need a
// break after them, or "第一节课就迟到了" would pass for a heading.
bool titleMayFollowDirectly(char32_t unit) { return unit == U'章' || unit == U'回' || unit == U'卷'; }

// Past the numeral at `i` and the spaces after it; `i` itself when there is none.
std::size_t skipNumeral(std::u32string_view line, std::size_t i) {
    const std::size_t digits = i;
    while (i < line.size() && isChineseNumeral(line[i])) ++i;
    if (i == digits) return digits;
    while (i < line.size() && isLineSpace(line[i])) ++i;
    return i;
}

std::optional<HeadingLevel> detectChinese(std::u32string_view line) {
    if (line.size() >= 3 && line[0] == U'第') {
        std::size_t i = 1;
        while (i < line.size() && isLineSpace(line[i])) ++i;
        const std::size_t digits = i;
        i = skipNumeral(line, i);
        if (i == digits) return std::nullopt;
        // Two chapters under one heading: 第十七至十八回.
        if (i + 1 < line.size() && line[i] == U'至') {
            const std::size_t second = line[i + 1] == U'第' ? i + 2 : i + 1;
            const std::size_t end = skipNumeral(line, second);
            if (end > second) i = end;
        }
        if (i >= line.size() || !(isVolumeUnit(line[i]) || isChapterUnit(line[i]))) return std::nullopt;
        const bool ends = i + 1 == line.size() || isSeparator(line[i + 1]) || line[i + 1] == U'至';
        if (!ends && !titleMayFollowDirectly(line[i])) return std::nullopt;
        return isVolumeUnit(line[i]) ? HeadingLevel::Volume : HeadingLevel::Chapter;
    }
    for (const std::u32string_view word :
         {U"楔子", U"序章", U"序言", U"序幕", U"引子", U"前言", U"尾声", U"后记", U"终章", U"序"}) {
        if (startsWithWord(line, word)) return HeadingLevel::Chapter;
    }
    if (line.substr(0, 2) == U"番外") return HeadingLevel::Chapter;
    return std::nullopt;
}

bool isNumberToken(std::u32string_view token) {
    if (token.empty()) return false;
    const bool digits = std::all_of(token.begin(), token.end(), [](char32_t c) { return c >= '0' && c <= '9'; });
    const bool upperRoman = std::all_of(token.begin(), token.end(), [](char32_t c) {
        return std::u32string_view(U"IVXLCDM").find(c) != std::u32string_view::npos;
    });
    const bool lowerRoman = std::all_of(token.begin(), token.end(), [](char32_t c) {
        return std::u32string_view(U"ivxlcdm").find(c) != std::u32string_view::npos;
    });
    if (digits || upperRoman || lowerRoman) return true;
    const std::u32string word = lowerAscii(token);
    for (const std::u32string_view number :
         {U"one",       U"two",      U"three",    U"four",   U"five",     U"six",      U"seven",   U"eight",
          U"nine",      U"ten",      U"eleven",   U"twelve", U"thirteen", U"fourteen", U"fifteen", U"sixteen",
          U"seventeen", U"eighteen", U"nineteen", U"twenty", U"first",    U"second",   U"third",   U"last"}) {
        if (word == number) return true;
    }
    return false;
}

// "Chapter" or "CHAPTER" (as written), then a number, then nothing or a separator.
bool startsWithNumbered(std::u32string_view line, std::u32string_view word) {
    const std::u32string upper = [&] {
        std::u32string u(word);
        for (char32_t& c : u) c = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
        return u;
    }();
    if (line.substr(0, word.size()) != word && line.substr(0, word.size()) != upper) return false;
    if (line.size() <= word.size() + 1 || line[word.size()] != ' ') return false;
    std::size_t end = word.size() + 1;
    while (end < line.size() && !isSeparator(line[end])) ++end;
    return isNumberToken(line.substr(word.size() + 1, end - word.size() - 1));
}

int wordCount(std::u32string_view line) {
    int words = 0;
    bool inWord = false;
    for (const char32_t c : line) {
        const bool space = isLineSpace(c);
        if (!space && !inWord) ++words;
        inWord = !space;
    }
    return words;
}

std::optional<HeadingLevel> detectEnglish(std::u32string_view line) {
    if (line.size() > kMaxEnglishHeading || wordCount(line) > kMaxEnglishWords) return std::nullopt;
    if (startsWithNumbered(line, U"Chapter")) return HeadingLevel::Chapter;
    if (startsWithNumbered(line, U"Part") || startsWithNumbered(line, U"Book")) return HeadingLevel::Volume;
    for (const std::u32string_view word : {U"Prologue", U"PROLOGUE", U"Epilogue", U"EPILOGUE"}) {
        if (startsWithWord(line, word)) return HeadingLevel::Chapter;
    }
    return std::nullopt;
}

// A full stop at the end closes a sentence, which no heading is ("第四回中既将…不能写矣。").
bool readsAsProse(std::u32string_view line) {
    const bool inside = line.size() > 1 && std::any_of(line.begin(), line.end() - 1, isSentencePunctuation);
    return inside || line.back() == U'。';
}

}  // namespace

std::string_view trimLine(std::string_view line) {
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t next = start;
        if (!isLineSpace(nextCodePoint(line, next))) break;
        start = next;
    }
    line.remove_prefix(start);
    while (!line.empty()) {
        std::size_t begin = line.size() - 1;
        while (begin > 0 && (static_cast<unsigned char>(line[begin]) & 0xC0) == 0x80) --begin;
        std::size_t pos = begin;
        if (!isLineSpace(nextCodePoint(line, pos))) break;
        line.remove_suffix(line.size() - begin);
    }
    return line;
}

bool containsCjk(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::uint32_t cp = nextCodePoint(text, pos);
        if (cp >= 0x3400 && cp <= 0x9FFF) return true;
    }
    return false;
}

std::optional<HeadingLevel> detectChapterHeading(std::string_view rawLine) {
    const std::string_view trimmed = trimLine(rawLine);
    if (trimmed.empty() || trimmed.size() > 4 * kMaxEnglishHeading) return std::nullopt;
    const std::u32string line = decode(trimmed);
    if (readsAsProse(line)) return std::nullopt;
    if (line.size() <= kMaxChineseHeading) {
        if (const auto level = detectChinese(line)) return level;
    }
    return detectEnglish(line);
}

std::optional<HeadingLine> findHeading(std::string_view line) {
    const auto level = detectChapterHeading(line);
    if (!level) return std::nullopt;
    const std::string_view heading = trimLine(line);
    const std::size_t begin = static_cast<std::size_t>(heading.data() - line.data());
    return HeadingLine{*level, begin, begin + heading.size()};
}

}  // namespace mobigen
