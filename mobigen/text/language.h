#pragma once

#include <string>
#include <string_view>

namespace mobigen {

// The language of plain text by its script: "ja" when it has kana, "zh" for Han without kana
// ("zh-TW" when traditional forms outnumber simplified ones), "" for anything else. A reader
// picks its CJK font, dictionary and hyphenation by this.
std::string languageOfText(std::string_view utf8);

// Whether a language tag asks for traditional Chinese characters (zh-TW, zh-HK, zh-Hant…).
bool isTraditionalChinese(std::string_view language);

}  // namespace mobigen
