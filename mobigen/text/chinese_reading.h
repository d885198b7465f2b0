#pragma once

#include <string_view>

namespace mobigen {

constexpr unsigned kCodePageBig5 = 950;

// Whether undeclared Chinese bytes read better as GBK/GB18030 or as Big5. Nearly all Big5
// text is valid GBK too, so validity cannot tell them apart; plausibility can. Each standard
// keeps its frequently used characters in planes of their own (GB2312 level 1, Big5 level 1),
// and the right reading lands nearly every character there, while the wrong one scatters
// them over rare planes. The fallback, a Chinese code page, is kept unless the other reading
// is clearly better.
unsigned likelierChineseCodePage(std::string_view bytes, unsigned fallback);

bool isChineseCodePage(unsigned codePage);

}  // namespace mobigen
