#include "mobigen/markup/html_elements.h"

#include "mobigen/kf8/xhtml_writer.h"
#include "mobigen/mobi6/html_reducer.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

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

std::string textOf(std::string_view markup) {
    std::string text;
    for (std::size_t at = 0; at < markup.size(); ++at) {
        if (markup[at] == '<') at = markup.find('>', at);
        if (at == std::string_view::npos) break;
        if (markup[at] != '>') text += markup[at];
    }
    return text;
}

// "Left out of d (…): 1 audio, 2 script." as name -> count.
std::map<std::string, int> reportedIn(const std::string& warning) {
    std::map<std::string, int> counts;
    std::istringstream list(warning.substr(warning.find("): ") + 3));
    int count = 0;
    std::string name;
    while (list >> count >> name) counts[name.substr(0, name.find_first_of(",."))] = count;
    return counts;
}

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
    const std::string kf8Body = kf8.document.substr(kf8.document.find("<body"));

    EXPECT_EQ(textOf(flow.body()), "abccellf");
    EXPECT_EQ(textOf(kf8Body), "abccellf");
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    const std::map<std::string, int> expected = {{"audio", 1},    {"button", 1}, {"canvas", 1},   {"form", 1},
                                                 {"frameset", 1}, {"iframe", 1}, {"input", 1},    {"math", 1},
                                                 {"script", 1},   {"select", 1}, {"textarea", 1}, {"video", 1}};
    EXPECT_EQ(reportedIn(diagnostics.warnings[0]), expected) << diagnostics.warnings[0];
    EXPECT_EQ(kf8.dropped, expected);
}
