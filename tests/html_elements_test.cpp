#include "mobigen/markup/html_elements.h"

#include "mobigen/kf8/xhtml_writer.h"
#include "mobigen/mobi6/html_reducer.h"

#include <gtest/gtest.h>

#include <regex>

using namespace mobigen;

namespace {

// Nothing resolves: only the element table decides what stays.
struct NoReducerHooks : ReducerHooks {
    std::size_t imageRecord(std::string_view) override { return 0; }
    LinkResolution resolveLink(std::string_view) override { return {}; }
    std::string anchorKey(std::string_view id) override { return std::string(id); }
};

struct NoXhtmlHooks : XhtmlHooks {
    std::optional<XhtmlImage> image(std::string_view) override { return std::nullopt; }
    std::optional<std::string> link(std::string_view) override { return std::nullopt; }
    std::optional<std::string> stylesheet(std::string_view) override { return std::nullopt; }
    std::string style(std::string_view, bool, bool) override { return {}; }
};

std::string textOf(const std::string& markup) { return std::regex_replace(markup, std::regex("<[^>]*>"), ""); }

}  // namespace

// Both parts read the same element table: they keep the same text and report the same losses.
TEST(HtmlElements, BothPartsDropTheSameElements) {
    const std::string html =
        "<html><head><title>T</title><style>p{}</style><body><p>a<script>s()</script>b</p>"
        "<form><select><option>o</option></select><input>c<button>x</button><textarea>t</textarea></form>"
        "<video><video>v</video>w</video><audio>au</audio><iframe>i</iframe><canvas>cv</canvas>"
        "<math><mi>m</mi></math><template>tp</template><noembed>ne</noembed><datalist><option>d</datalist>"
        "<table><colgroup><col><col><tr><td>cell</td></tr></table><option>alone</option>"
        "<frameset><frame></frameset>f</body></html>";
    NoReducerHooks mobiHooks;
    NoXhtmlHooks kf8Hooks;
    FlowBuilder flow;
    Diagnostics diagnostics;
    reduceHtmlDocument(html, flow, mobiHooks, diagnostics, "d");
    const XhtmlResult kf8 = writeXhtmlDocument(html, kf8Hooks, false);

    EXPECT_EQ(textOf(flow.body()), "abccellf");
    EXPECT_EQ(textOf(kf8.document.substr(kf8.document.find("<body"))), "abccellf");
    const std::string reported =
        "1 audio, 1 button, 1 canvas, 1 form, 1 frameset, 1 iframe, 1 input, 1 math, "
        "1 script, 1 select, 1 textarea, 1 video";
    EXPECT_EQ(diagnostics.warnings,
              std::vector<std::string>{"Left out of d (MOBI readers cannot show them): " + reported + "."});
    std::string kf8Reported;
    for (const auto& [name, count] : kf8.dropped)
        kf8Reported += (kf8Reported.empty() ? "" : ", ") + std::to_string(count) + " " + name;
    EXPECT_EQ(kf8Reported, reported);
}
