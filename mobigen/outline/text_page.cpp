#include "mobigen/outline/text_page.h"

#include "mobigen/outline/chapters.h"
#include "mobigen/text/entities.h"

namespace mobigen {

std::optional<TextDerivedDocument> matchTextDerivedHtml(std::string_view html) {
    constexpr std::string_view kHead = "<html><head><title>";
    constexpr std::string_view kAfterTitle = "</title></head><body>";
    constexpr std::string_view kTail = "</body></html>";
    if (html.substr(0, kHead.size()) != kHead) return std::nullopt;
    const std::size_t titleEnd = html.find(kAfterTitle, kHead.size());
    if (titleEnd == std::string_view::npos) return std::nullopt;
    const std::string_view title = html.substr(kHead.size(), titleEnd - kHead.size());
    if (title.find('<') != std::string_view::npos) return std::nullopt;
    const std::size_t bodyStart = titleEnd + kAfterTitle.size();
    if (html.size() < bodyStart + kTail.size() || html.substr(html.size() - kTail.size()) != kTail) return std::nullopt;
    const std::string_view body = html.substr(bodyStart, html.size() - kTail.size() - bodyStart);
    const bool linesEnd = body.empty() || (body.size() >= 4 && body.substr(body.size() - 4) == "<br>");
    if (!linesEnd || body.find("</") != std::string_view::npos) return std::nullopt;
    return TextDerivedDocument{title, body};
}

bool writeTextDerivedBody(std::string_view body, FlowBuilder& flow) {
    bool chinese = false;
    int headings = 0;
    bool sawVolume = false;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find("<br>", start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view line = body.substr(start, end - start);
        start = end + 4;
        const auto level = detectChapterHeading(line);
        if (!level) {
            appendEscaped(flow.body(), line, EntityContext::Text);
            flow.append("<br>");
            continue;
        }
        if (flow.size() > 0) flow.endDocument();
        const std::string key = "\x01chapter" + std::to_string(++headings);
        flow.mark(key);
        const bool volume = *level == HeadingLevel::Volume;
        sawVolume = sawVolume || volume;
        const char* tag = volume ? "h1" : "h2";
        flow.append(std::string("<") + tag + ">");
        appendEscaped(flow.body(), line, EntityContext::Text);
        flow.append(std::string("</") + tag + ">");
        const std::string title(trimLine(line));
        chinese = chinese || containsCjk(title);
        flow.addTocEntry(title, {key, {}}, volume || !sawVolume ? 0 : 1);
    }
    return chinese;
}

}  // namespace mobigen
