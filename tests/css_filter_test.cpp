#include "mobigen/kf8/css_filter.h"

#include "mobigen/kf8/content_model.h"

#include <gtest/gtest.h>

using namespace mobigen;

namespace {

// Images resolve to "R:<url>"; "gone" and WOFF fonts do not resolve.
CssContext testContext() {
    CssContext context;
    context.urls = [](std::string_view url, CssUrlKind kind) -> std::optional<std::string> {
        if (url == "gone.png" || url.find(".woff") != std::string_view::npos) return std::nullopt;
        return std::string(kind == CssUrlKind::Font ? "F:" : "R:") + std::string(url);
    };
    context.imports = [](std::string_view url) -> std::optional<std::string> {
        return "/* " + std::string(url) + " */ i {}\n";
    };
    context.rename = xhtmlTypeSelector;
    return context;
}

}  // namespace

TEST(Css, KeepsWhatKindlesRenderAndNamesTheRest) {
    struct Case {
        const char* css;
        const char* kept;
        const char* dropped;
    };
    const Case cases[] = {
        {"p { margin: 0; TEXT-INDENT: 2em }", "p {margin: 0; text-indent: 2em;}\n", ""},
        {"div{position:fixed;color:red;-moz-hyphens:auto;behavior:url(x.htc)}", "div {color: red;}\n",
         "position: fixed behavior "},
        {"@media print { p {color: red;} } @media amzn-kf8 { p {float: left;} }",
         "@media amzn-kf8 {\np {float: left;}\n}\n", "@media print "},
        {"@charset \"utf-8\"; @keyframes k { from {top: 0} } @namespace epub url(x);", "@namespace epub url(x);\n",
         "@keyframes "},
        {"a::before { content: \"/* x */\" } /* gone */", "a::before {content: \"/* x */\";}\n", ""},
        {"p { background-image: url('i.png'); background: url(gone.png) }", "p {background-image: url(R:i.png);}\n",
         ""},
        {"@font-face { font-family: A; src: url(a.woff2) format(\"woff2\"), url(\"a.ttf\") }",
         "@font-face {font-family: A; src: url(F:a.ttf);}\n", ""},
        {"@font-face { font-family: B; src: url(b.woff) }", "", ""},
        {"header + p, section.x > span, [data-header] { color: red }",
         "div.tag-header + p, div.tag-section.x > span, [data-header] {color: red;}\n", ""},
        {"@import url(\"more.css\"); p {}", "/* more.css */ i {}\n", ""},
        {"p { p: x }", "", "p "},
    };
    for (const auto& c : cases) {
        const FilteredCss filtered = filterStylesheet(c.css, testContext());
        EXPECT_EQ(filtered.css, c.kept) << c.css;
        std::string dropped;
        for (const auto& d : filtered.dropped) dropped += d + " ";
        EXPECT_EQ(dropped, c.dropped) << c.css;
    }
}

TEST(Css, AVerticalModeCountsOnlyOnTheWholeBook) {
    const std::pair<const char*, const char*> cases[] = {
        {"html { -epub-writing-mode: vertical-rl }", "vertical-rl"},
        {"body.x { writing-mode: vertical-lr !important }", "vertical-lr"},
        {":root { writing-mode: vertical-rl }", "vertical-rl"},
        {".tate { writing-mode: vertical-rl }", ""},
        {"html { writing-mode: horizontal-tb }", ""},
    };
    for (const auto& [css, mode] : cases) EXPECT_EQ(filterStylesheet(css, testContext()).writingMode, mode) << css;
    EXPECT_EQ(filterDeclarations("writing-mode: vertical-rl; position: fixed", testContext(), true).writingMode,
              "vertical-rl");
    EXPECT_EQ(filterDeclarations("color: red; position: fixed", testContext(), false).css, "color: red;");
}
