#pragma once

// The page the program makes of a .txt, and the only thing the converter knows of the
// program: <html><head><title>T</title></head><body>line<br>line<br>…</body></html>, with no
// line ends anywhere. Header-only and free of dependencies, so both sides can include it.

namespace text_page_format {

inline constexpr char kHead[] = "<html><head><title>";
inline constexpr char kBodyStart[] = "</title></head><body>";
inline constexpr char kLineEnd[] = "<br>";
inline constexpr char kEnd[] = "</body></html>";

}  // namespace text_page_format
