#include "mobigen/text/chinese_reading.h"

#include "platform/code_pages.h"

#include <cstddef>

namespace mobigen {
namespace {

// Real text keeps above 0.95 in its own reading and below 0.7 in the other; a margin this wide
// needs about eight characters to be crossed, so short pages stay with the fallback.
constexpr double kMargin = 0.25;

struct Character {
    std::size_t length;
    bool frequent;  // false for an invalid byte, which counts as one character
};

unsigned at(std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

// GB2312's punctuation rows and its 3,755 level-1 hanzi, inside GBK and GB18030.
Character gbkCharacterAt(std::string_view bytes, std::size_t i) {
    const unsigned lead = at(bytes, i);
    if (lead < 0x81 || lead > 0xFE || i + 1 >= bytes.size()) return {1, false};
    const unsigned trail = at(bytes, i + 1);
    if (trail >= 0x30 && trail <= 0x39) return {i + 3 < bytes.size() ? 4u : 1u, false};
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return {1, false};
    const unsigned code = lead << 8 | trail;
    const bool punctuation = lead >= 0xA1 && lead <= 0xA3 && trail >= 0xA1;
    const bool levelOne = lead >= 0xB0 && trail >= 0xA1 && code <= 0xD7F9;
    return {2, punctuation || levelOne};
}

// Big5's symbol rows and its 5,401 frequently used hanzi.
Character big5CharacterAt(std::string_view bytes, std::size_t i) {
    const unsigned lead = at(bytes, i);
    if (lead < 0xA1 || lead > 0xF9 || i + 1 >= bytes.size()) return {1, false};
    const unsigned trail = at(bytes, i + 1);
    if (!((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE))) return {1, false};
    const unsigned code = lead << 8 | trail;
    return {2, (code >= 0xA140 && code <= 0xA3BF) || (code >= 0xA440 && code <= 0xC67E)};
}

template <typename CharacterAt>
double frequentShare(std::string_view bytes, CharacterAt characterAt) {
    std::size_t frequent = 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (at(bytes, i) < 0x80) {
            ++i;
            continue;
        }
        const Character c = characterAt(bytes, i);
        ++total;
        frequent += c.frequent ? 1 : 0;
        i += c.length;
    }
    return total == 0 ? 0.0 : static_cast<double>(frequent) / static_cast<double>(total);
}

}  // namespace

bool isChineseCodePage(unsigned codePage) {
    return codePage == 936 || codePage == platform::kCodePageGb18030 || codePage == kCodePageBig5;
}

unsigned likelierChineseCodePage(std::string_view bytes, unsigned fallback) {
    const double gbk = frequentShare(bytes, gbkCharacterAt);
    const double big5 = frequentShare(bytes, big5CharacterAt);
    if (fallback == kCodePageBig5) return gbk >= big5 + kMargin ? platform::kCodePageGb18030 : fallback;
    return big5 >= gbk + kMargin ? kCodePageBig5 : fallback;
}

}  // namespace mobigen
