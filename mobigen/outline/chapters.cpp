#include "mobigen/outline/chapters.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/code_points.h"

#include <array>
#include <cstdint>
#include <iterator>

namespace mobigen {
namespace {

constexpr std::size_t kMaxHeading = 40;  // code points, prefix and run-in text left out
constexpr std::size_t kMaxEnglishHeading = 60;
constexpr std::size_t kMaxMarkedEnglishHeading = 90;
constexpr int kMaxEnglishWords = 10;

constexpr HeadingLevel kVolume = HeadingLevel::Volume;
constexpr HeadingLevel kChapter = HeadingLevel::Chapter;

bool isLineSpace(std::uint32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == 0xA0 || c == 0x3000; }

using namespace std::string_view_literals;

bool isOneOf(std::uint32_t c, std::u32string_view set) { return set.find(static_cast<char32_t>(c)) != set.npos; }

bool isChineseNumeral(std::uint32_t c) {
    return isOneOf(
        c, U"零〇○一二三四五六七八九十百千万两兩萬壹贰貳叁參肆伍陆陸柒捌玖拾佰仟0123456789０１２３４５６７８９"sv);
}

// Between a heading's number and its title ("第二章：重逢", "CHAPTER I. Loomings").
bool isSeparatorMark(std::uint32_t c) { return isOneOf(c, U"：:·、—-.．】"sv); }
// A sentence's end or a colon: the body has begun ("此回则暂不能写矣。").
bool isHardStop(std::uint32_t c) { return isOneOf(c, U"。：:"sv); }
// Commas and the like sit inside web-novel titles ("第123章 风起，云涌") as often as in prose.
bool isSoftStop(std::uint32_t c) { return isOneOf(c, U"，；！？,;!?…"sv); }

std::uint32_t codePointAt(std::string_view s, std::size_t pos) { return nextCodePoint(s, pos); }

std::size_t countCodePoints(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

bool startsWith(std::string_view s, std::size_t at, std::string_view word) { return s.substr(at, word.size()) == word; }

// Past the code points from `pos` that `keep` accepts, up to `stop`.
template <typename Keep>
std::size_t skipWhile(std::string_view s, std::size_t pos, std::size_t stop, Keep keep) {
    while (pos < stop) {
        std::size_t next = pos;
        if (!keep(nextCodePoint(s, next))) break;
        pos = next;
    }
    return pos;
}

std::size_t skipSpaces(std::string_view s, std::size_t pos, std::size_t stop) {
    return skipWhile(s, pos, stop, isLineSpace);
}

std::size_t trimBack(std::string_view s, std::size_t begin, std::size_t end) {
    while (end > begin) {
        std::size_t last = end - 1;
        while (last > begin && (static_cast<unsigned char>(s[last]) & 0xC0) == 0x80) --last;
        if (!isLineSpace(codePointAt(s, last))) break;
        end = last;
    }
    return end;
}

// What download sites put before a heading on its line; 《…》 (a book's name) is handled apart.
constexpr std::string_view kSitePrefixes[] = {u8"章节目录", u8"章節目錄", u8"正文卷", u8"VIP卷", u8"VIP章节",
                                              u8"VIP章節",  u8"正文",     u8"目录",   u8"目錄",  u8"》"};
constexpr std::size_t kMaxBookName = 30;  // code points inside 《》

std::size_t skipBookName(std::string_view s, std::size_t pos, std::size_t stop) {
    const std::string_view open = u8"《", close = u8"》";
    if (!startsWith(s, pos, open)) return pos;
    const std::size_t closing = s.substr(0, stop).find(close, pos + open.size());
    if (closing == std::string_view::npos || countCodePoints(s.substr(pos, closing - pos)) > kMaxBookName) return pos;
    return closing + close.size();
}

std::size_t skipIndentAndPrefixes(std::string_view s, std::size_t stop) {
    std::size_t pos = skipSpaces(s, 0, stop);
    for (bool more = true; more;) {
        const std::size_t afterName = skipBookName(s, pos, stop);
        more = afterName != pos;
        pos = afterName;
        for (const std::string_view prefix : kSitePrefixes) {
            if (startsWith(s, pos, prefix)) {
                pos += prefix.size();
                more = true;
                break;
            }
        }
        pos = skipSpaces(s, pos, stop);
    }
    return pos;
}

// Where the form ends (after "第十二回", "卷一", "楔子" …) and how a title may follow it.
struct FormMatch {
    HeadingLevel level = kChapter;
    std::size_t end = 0;
    bool titleMayRunOn = false;  // "第一章风起"; without a break "第一节课" would pass for a heading
    bool listNumber = false;     // "一、标题": only a short title with no punctuation
    bool english = false;
    bool couplet = false;  // 回目: two halves of one length ("宴桃园豪杰三结义　斩黄巾英雄首立功")
};

// The units of "第…X". 卷, 部 and 篇 are volumes: where chapters follow them they hold those,
// and in a book of volumes alone each is a top-level entry, as a chapter would be.
struct Unit {
    char32_t unit;
    HeadingLevel level;
    bool titleMayRunOn;
    bool couplet;
};
constexpr Unit kUnits[] = {
    {U'章', kChapter, true, false},  {U'回', kChapter, true, true},   {U'迴', kChapter, true, true},
    {U'节', kChapter, false, false}, {U'節', kChapter, false, false}, {U'集', kChapter, false, false},
    {U'话', kChapter, false, false}, {U'話', kChapter, false, false}, {U'幕', kChapter, false, false},
    {U'折', kChapter, false, false}, {U'卷', kVolume, true, false},   {U'部', kVolume, false, false},
    {U'篇', kVolume, false, false}};

struct NamedForm {
    std::string_view word;
    HeadingLevel level;
    bool titleMayRunOn;
};
constexpr NamedForm kNamedForms[] = {
    {u8"楔子", kChapter, false}, {u8"序章", kChapter, false}, {u8"序言", kChapter, false}, {u8"序幕", kChapter, false},
    {u8"自序", kChapter, false}, {u8"序", kChapter, false},   {u8"引子", kChapter, false}, {u8"引言", kChapter, false},
    {u8"前言", kChapter, false}, {u8"尾声", kChapter, false}, {u8"尾聲", kChapter, false}, {u8"后记", kChapter, false},
    {u8"後記", kChapter, false}, {u8"终章", kChapter, false}, {u8"終章", kChapter, false}, {u8"番外", kChapter, true},
    {u8"卷首", kVolume, false},  {u8"卷末", kVolume, false},  {u8"卷上", kVolume, false},  {u8"卷中", kVolume, false},
    {u8"卷下", kVolume, false},  {u8"上卷", kVolume, false},  {u8"中卷", kVolume, false},  {u8"下卷", kVolume, false},
    {u8"上部", kVolume, false},  {u8"中部", kVolume, false},  {u8"下部", kVolume, false},  {u8"上篇", kVolume, false},
    {u8"中篇", kVolume, false},  {u8"下篇", kVolume, false},
};

std::size_t skipNumeral(std::string_view s, std::size_t pos, std::size_t stop) {
    return skipWhile(s, pos, stop, isChineseNumeral);
}

// "第" number ["至" ["第"] number] unit ["至" ["第"] number unit]: 第十七至十八回, 第三节至第四节.
std::optional<FormMatch> matchNumbered(std::string_view s, std::size_t pos, std::size_t stop) {
    const std::string_view di = u8"第", to = u8"至";
    if (!startsWith(s, pos, di)) return std::nullopt;
    const auto number = [&](std::size_t at) {
        if (startsWith(s, at, di)) at += di.size();
        const std::size_t digits = skipSpaces(s, at, stop);
        const std::size_t end = skipNumeral(s, digits, stop);
        return end == digits ? std::string_view::npos : skipSpaces(s, end, stop);
    };
    std::size_t at = number(pos);
    if (at == std::string_view::npos || at >= stop) return std::nullopt;
    if (startsWith(s, at, to)) {
        const std::size_t second = number(at + to.size());
        if (second != std::string_view::npos) at = second;
    }
    if (at >= stop) return std::nullopt;
    std::size_t next = at;
    const std::uint32_t unit = nextCodePoint(s, next);
    for (const Unit& u : kUnits) {
        if (u.unit != unit) continue;
        if (startsWith(s, next, to)) {
            const std::size_t second = number(next + to.size());
            std::size_t after = second;
            if (second != std::string_view::npos && second < stop && nextCodePoint(s, after) == unit) next = after;
        }
        return FormMatch{u.level, next, u.titleMayRunOn, false, false, u.couplet};
    }
    return std::nullopt;
}

std::optional<FormMatch> matchChinese(std::string_view s, std::size_t pos, std::size_t stop) {
    if (auto numbered = matchNumbered(s, pos, stop)) return numbered;
    const std::string_view juan = u8"卷", of = u8"之";
    if (startsWith(s, pos, juan)) {  // 卷一, 卷之三
        std::size_t at = pos + juan.size();
        if (startsWith(s, at, of)) at += of.size();
        const std::size_t end = skipNumeral(s, at, stop);
        if (end > at) return FormMatch{kVolume, end};
    }
    for (const NamedForm& form : kNamedForms) {
        if (startsWith(s, pos, form.word)) return FormMatch{form.level, pos + form.word.size(), form.titleMayRunOn};
    }
    // 一、标题, not a count ("一、二、三").
    const std::string_view comma = u8"、";
    const std::size_t end = skipNumeral(s, pos, stop);
    const bool listed = end > pos && end - pos <= 4 * 3 && startsWith(s, end, comma);
    if (listed && end + comma.size() < stop && !isChineseNumeral(codePointAt(s, end + comma.size())))
        return FormMatch{kChapter, end, false, true};
    return std::nullopt;
}

bool isNumberWord(std::string_view token) {
    const bool digits = !token.empty() && token.find_first_not_of("0123456789") == token.npos;
    const bool upperRoman = !token.empty() && token.find_first_not_of("IVXLCDM") == token.npos;
    const bool lowerRoman = !token.empty() && token.find_first_not_of("ivxlcdm") == token.npos;
    if (digits || upperRoman || lowerRoman) return true;
    for (const std::string_view number :
         {"one",       "two",      "three",    "four",   "five",     "six",      "seven",   "eight",
          "nine",      "ten",      "eleven",   "twelve", "thirteen", "fourteen", "fifteen", "sixteen",
          "seventeen", "eighteen", "nineteen", "twenty", "first",    "second",   "third",   "last"}) {
        if (token.size() == number.size() && startsWithNoCase(token, 0, number)) return true;
    }
    return false;
}

// The word as written or in capitals: "Chapter", "CHAPTER", not "chapter" (a sentence's word).
bool startsWithTitleWord(std::string_view s, std::size_t pos, std::string_view word) {
    if (!startsWithNoCase(s, pos, word)) return false;
    bool asWritten = true, capitals = true;
    for (std::size_t i = 0; i < word.size(); ++i) {
        asWritten = asWritten && s[pos + i] == word[i];
        capitals = capitals && !(s[pos + i] >= 'a' && s[pos + i] <= 'z');
    }
    return asWritten || capitals;
}

struct EnglishForm {
    std::string_view word;
    HeadingLevel level;
    bool numbered;
};
constexpr EnglishForm kEnglishForms[] = {{"Chapter", kChapter, true},   {"Part", kVolume, true},
                                         {"Book", kVolume, true},       {"Volume", kVolume, true},
                                         {"Prologue", kChapter, false}, {"Epilogue", kChapter, false}};

std::optional<FormMatch> matchEnglish(std::string_view s, std::size_t pos, std::size_t stop) {
    for (const EnglishForm& form : kEnglishForms) {
        if (!startsWithTitleWord(s, pos, form.word)) continue;
        std::size_t end = pos + form.word.size();
        const bool wordEnds = end == stop || isLineSpace(codePointAt(s, end)) || isSeparatorMark(codePointAt(s, end));
        if (!wordEnds) continue;
        if (form.numbered) {
            if (end >= stop || s[end] != ' ') continue;
            const std::size_t token = ++end;
            while (end < stop && !isLineSpace(codePointAt(s, end)) && !isSeparatorMark(codePointAt(s, end))) ++end;
            if (!isNumberWord(s.substr(token, end - token))) continue;
        }
        return FormMatch{form.level, end, false, false, true};
    }
    return std::nullopt;
}

// English headings stand alone on their line: short, a few words, no sentence inside. A
// title set off by a mark ("Chapter 105. Does the Whale's Magnitude Diminish?—Will He
// Perish?") may be longer and hold any punctuation.
std::optional<std::size_t> englishEnd(std::string_view s, std::size_t begin, const FormMatch& form, std::size_t stop) {
    const bool marked = form.end < stop && isSeparatorMark(codePointAt(s, form.end));
    const std::string_view text = s.substr(begin, stop - begin);
    if (countCodePoints(text) > (marked ? kMaxMarkedEnglishHeading : kMaxEnglishHeading)) return std::nullopt;
    int words = 0;
    bool inWord = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::uint32_t c = nextCodePoint(text, pos);
        const bool last = pos == text.size();
        if (!marked && ((isSoftStop(c) && !last) || c == U'。')) return std::nullopt;
        words += !isLineSpace(c) && !inWord;
        inWord = !isLineSpace(c);
    }
    return words <= (marked ? 2 : 1) * kMaxEnglishWords ? std::optional<std::size_t>(stop) : std::nullopt;
}

// Where a chapter's first sentence begins when it is run into the heading's line.
constexpr std::string_view kBodyOpenings[] = {u8"诗曰", u8"詩曰", u8"词曰", u8"詞曰", u8"诗云", u8"詩云", u8"词云",
                                              u8"詞云", u8"话说", u8"話說", u8"却说", u8"卻說", u8"且说", u8"且說"};

bool opensBody(std::string_view s, std::size_t pos) {
    for (const std::string_view opening : kBodyOpenings) {
        if (startsWith(s, pos, opening)) return true;
    }
    return false;
}

// The first place after the title's start where the body shows itself, and the last break
// (a run of spaces) before it, where a run-in body is cut off.
struct TitleScan {
    enum Stop { None, Opening, Soft, Hard } stop = None;
    std::size_t at = 0;
    std::size_t lastBreak = std::string_view::npos;
};

TitleScan scanTitle(std::string_view s, std::size_t pos, std::size_t stop, std::size_t lastBreak) {
    TitleScan scan{TitleScan::None, stop, lastBreak};
    const auto stopAt = [&](TitleScan::Stop kind) {
        scan.stop = kind;
        scan.at = pos;
        return scan;
    };
    bool inSpace = false;
    while (pos < stop) {
        if (opensBody(s, pos)) return stopAt(TitleScan::Opening);
        std::size_t next = pos;
        const std::uint32_t c = nextCodePoint(s, next);
        if (isLineSpace(c) && !inSpace) scan.lastBreak = pos;
        inSpace = isLineSpace(c);
        if (isHardStop(c)) return stopAt(TitleScan::Hard);
        // "第十章 你好吗？": a question or an exclamation may end the title.
        const bool endsTitle = isOneOf(c, U"！？!?"sv) && skipSpaces(s, next, stop) == stop;
        if (isSoftStop(c) && !endsTitle) return stopAt(TitleScan::Soft);
        pos = next;
    }
    return scan;
}

bool hasHardStop(std::string_view s, std::size_t pos, std::size_t stop) {
    while (pos < stop) {
        if (isHardStop(nextCodePoint(s, pos))) return true;
    }
    return false;
}

// A couplet's second half run straight into the body ends as long as the first half did.
std::size_t secondHalfEnd(std::string_view s, std::size_t title, const TitleScan& scan) {
    if (scan.lastBreak <= title) return std::string_view::npos;
    std::size_t half = countCodePoints(s.substr(title, trimBack(s, title, scan.lastBreak) - title));
    std::size_t pos = skipSpaces(s, scan.lastBreak, scan.at);
    while (half-- > 0 && pos < scan.at) nextCodePoint(s, pos);
    return pos < scan.at ? pos : std::string_view::npos;
}

bool withinLength(std::string_view s, std::size_t begin, std::size_t end) {
    return end > begin && countCodePoints(s.substr(begin, end - begin)) <= kMaxHeading;
}

std::optional<std::size_t> chineseEnd(std::string_view s, std::size_t begin, const FormMatch& form, std::size_t stop) {
    std::size_t title = form.end;
    bool spaced = false;
    while (title < stop) {
        std::size_t next = title;
        const std::uint32_t c = nextCodePoint(s, next);
        if (!isLineSpace(c) && !isSeparatorMark(c)) break;
        spaced = spaced || isLineSpace(c);
        title = next;
    }
    if (title == stop) return form.listNumber ? std::nullopt : std::optional<std::size_t>(form.end);
    const bool separated = title > form.end;
    if (!separated && !form.titleMayRunOn) return std::nullopt;
    const TitleScan scan = scanTitle(s, title, stop, spaced ? form.end : std::string_view::npos);
    if (form.listNumber && scan.stop != TitleScan::None) return std::nullopt;
    std::size_t end = stop;
    if (scan.stop == TitleScan::Opening) {
        end = trimBack(s, begin, scan.at);
    } else if (scan.stop == TitleScan::Soft && separated && withinLength(s, begin, stop) &&
               !hasHardStop(s, scan.at, stop)) {
        end = stop;
    } else if (scan.stop != TitleScan::None) {
        // A first sentence run into the line: the heading ends at the last break before it.
        if (scan.lastBreak == std::string_view::npos) return std::nullopt;
        end = form.couplet ? secondHalfEnd(s, title, scan) : std::string_view::npos;
        if (end == std::string_view::npos) end = trimBack(s, begin, scan.lastBreak);
    }
    return withinLength(s, begin, end) ? std::optional<std::size_t>(end) : std::nullopt;
}

// "第一卷 潜龙 第一章 少年": sites that repeat the volume on every chapter's line.
bool holdsChapter(std::string_view s, std::size_t pos, std::size_t end) {
    for (pos = s.find(u8"第", pos); pos < end; pos = s.find(u8"第", pos + 1)) {
        const auto form = matchNumbered(s, pos, end);
        const bool afterBreak = trimBack(s, 0, pos) < pos;
        if (afterBreak && form && form->level == kChapter) return true;
    }
    return false;
}

constexpr std::string_view kOpenBracket = u8"【";

constexpr char32_t firstCodePoint(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(s[i])); };
    if (byte(0) < 0xE0 || s.size() < 3) return byte(0);  // ASCII, or the tables' three-byte CJK
    return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
}

constexpr std::size_t kStarterCount = 4 + std::size(kSitePrefixes) + std::size(kNamedForms) + std::size(kEnglishForms);

// What a heading or a site's prefix can start with, from the tables, so most prose is turned
// away on its first character.
constexpr std::array<char32_t, kStarterCount> startersOfTables() {
    std::array<char32_t, kStarterCount> out{U'第', U'卷', U'《', U'【'};
    std::size_t n = 4;
    for (const std::string_view prefix : kSitePrefixes) out[n++] = firstCodePoint(prefix);
    for (const NamedForm& form : kNamedForms) out[n++] = firstCodePoint(form.word);
    for (const EnglishForm& form : kEnglishForms) out[n++] = firstCodePoint(form.word);
    return out;
}
constexpr std::array<char32_t, kStarterCount> kStarters = startersOfTables();

bool mayStartHeading(std::uint32_t c) {
    return isChineseNumeral(c) || isOneOf(c, std::u32string_view(kStarters.data(), kStarters.size()));
}

}  // namespace

std::string_view trimLine(std::string_view line) {
    const std::size_t begin = skipSpaces(line, 0, line.size());
    return line.substr(begin, trimBack(line, begin, line.size()) - begin);
}

bool containsCjk(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::uint32_t cp = nextCodePoint(text, pos);
        if (cp >= 0x3400 && cp <= 0x9FFF) return true;
    }
    return false;
}

std::optional<HeadingLine> findHeading(std::string_view line) {
    const std::size_t stop = trimBack(line, 0, line.size());
    const std::size_t indent = skipSpaces(line, 0, stop);
    if (indent >= stop || !mayStartHeading(codePointAt(line, indent))) return std::nullopt;
    const std::size_t begin = skipIndentAndPrefixes(line, stop);
    if (begin >= stop) return std::nullopt;
    // 【第一章】风起: the brackets belong to the heading.
    const std::size_t at = startsWith(line, begin, kOpenBracket) ? begin + kOpenBracket.size() : begin;
    if (at >= stop) return std::nullopt;
    const bool ascii = static_cast<unsigned char>(line[at]) < 0x80;
    const auto form = ascii ? matchEnglish(line, at, stop) : matchChinese(line, at, stop);
    if (!form) return std::nullopt;
    const auto end = form->english ? englishEnd(line, begin, *form, stop) : chineseEnd(line, begin, *form, stop);
    if (!end) return std::nullopt;
    const bool chapterInside = form->level == kVolume && !form->english && holdsChapter(line, form->end, *end);
    return HeadingLine{chapterInside ? kChapter : form->level, begin, *end};
}

}  // namespace mobigen
