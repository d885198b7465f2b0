#include "mobigen/mobi6/text_body.h"

#include "mobigen/text/entities.h"

namespace mobigen {
namespace {

void appendLine(std::string_view text, FlowBuilder& flow) {
    appendEscaped(flow.body(), text, EntityContext::Text);
    flow.append("<br>");
}

}  // namespace

void writeTextDerivedBody(std::string_view body, const TextOutline& outline, FlowBuilder& flow) {
    const auto& entries = outline.outline.entries();
    std::size_t next = 0;  // the entry whose line comes next
    PageLines lines(body);
    std::string scratch;
    for (std::string_view line; lines.next(line);) {
        const std::string_view plain = plainLine(line, scratch);
        if (next == entries.size() || lines.at() != entries[next].at) {
            appendLine(plain, flow);
            continue;
        }
        const OutlineEntry& entry = entries[next];
        const SplitHeading split = splitHeadingLine(plain, outline.headings[next++]);
        if (flow.size() > 0) flow.endDocument();
        const std::string key = "\x01chapter" + std::to_string(next);
        flow.mark(key);
        const std::string tag = entry.level == 1 ? "h1" : "h2";
        flow.append("<" + tag + ">");
        appendEscaped(flow.body(), split.heading, EntityContext::Text);
        flow.append("</" + tag + ">");
        if (!split.rest.empty()) appendLine(split.rest, flow);
        flow.addTocEntry(entry.title, {key, {}}, entry.depth);
    }
}

}  // namespace mobigen
