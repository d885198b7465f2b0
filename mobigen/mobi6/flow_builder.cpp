#include "mobigen/mobi6/flow_builder.h"

#include "mobigen/text/ascii.h"
#include "mobigen/text/entities.h"
#include "mobigen/text/language.h"

#include <cstdio>

namespace mobigen {
namespace {

constexpr std::string_view kPlaceholder = "0000000000";
constexpr std::string_view kFileposAttribute = "filepos=";

// Appends "filepos=NNNNNNNNNN" and returns where the digits start.
std::size_t appendPlaceholder(std::string& out) {
    out += kFileposAttribute;
    const std::size_t at = out.size();
    out += kPlaceholder;
    return at;
}

void patch(std::string& flow, std::size_t at, std::uint32_t value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%010lu", static_cast<unsigned long>(value));
    flow.replace(at, kPlaceholder.size(), digits, kPlaceholder.size());
}

std::uint32_t toOffset(std::size_t value) {
    if (value > 0xFFFFFFFFu) throw ConversionError{"The book is too large for the MOBI format (over 4 GB of text)."};
    return static_cast<std::uint32_t>(value);
}

}  // namespace

void FlowBuilder::mark(const std::string& key) { marks_.emplace(key, body_.size()); }

void FlowBuilder::appendFilepos(FlowTarget target) {
    const std::size_t at = appendPlaceholder(body_);
    links_.push_back({at, false, std::move(target)});
}

void FlowBuilder::addTocEntry(std::string title, FlowTarget target, int depth) {
    toc_.push_back({std::move(title), std::move(target), depth});
}

std::string FlowBuilder::buildPrefix(const std::string& contentsTitle, std::vector<Link>& prefixLinks) const {
    std::string prefix = "<html><head><guide>";
    if (!toc_.empty()) {
        prefix += "<reference type=\"toc\" title=\"Table of Contents\" ";
        prefixLinks.push_back({appendPlaceholder(prefix), true, {kContentsKey, {}}});
        prefix += " />";
    }
    prefix += "<reference type=\"text\" title=\"Start\" ";
    prefixLinks.push_back({appendPlaceholder(prefix), true, {kStartKey, {}}});
    prefix += " /></guide></head><body>";
    if (toc_.empty()) return prefix;

    prefix += "<h2>";
    appendEscaped(prefix, contentsTitle, EntityContext::Text);
    prefix += "</h2>";
    for (const auto& entry : toc_) {
        // A blockquote a level: MOBI 6 has no margins of its own, and readers nest the contents by it.
        prefix += "<div>";
        for (int i = 0; i < entry.depth; ++i) prefix += "<blockquote>";
        prefix += "<a ";
        prefixLinks.push_back({appendPlaceholder(prefix), true, entry.target});
        prefix += ">";
        appendEscaped(prefix, entry.title, EntityContext::Text);
        prefix += "</a>";
        for (int i = 0; i < entry.depth; ++i) prefix += "</blockquote>";
        prefix += "</div>";
    }
    prefix += "<mbp:pagebreak/>";
    return prefix;
}

void FlowBuilder::finish(Book& book, const std::string& contentsTitle, Diagnostics& diagnostics) {
    std::vector<Link> prefixLinks;
    const std::string prefix = buildPrefix(contentsTitle, prefixLinks);
    const std::size_t shift = prefix.size();
    const std::size_t contentsAt = prefix.find("<h2>", prefix.find("<body>"));

    std::map<std::string, std::size_t> absolute;
    for (const auto& m : marks_) absolute.emplace(m.first, m.second + shift);
    absolute.emplace(kStartKey, shift);
    if (contentsAt != std::string::npos) absolute[kContentsKey] = contentsAt;

    const auto resolveTarget = [&](const FlowTarget& target) -> std::uint32_t {
        auto it = absolute.find(target.key);
        if (it == absolute.end() && !target.fallbackKey.empty()) it = absolute.find(target.fallbackKey);
        if (it != absolute.end()) return toOffset(it->second);
        diagnostics.warn("A link to \"" + target.key + "\" leads nowhere in the book; it now points at the start.");
        return toOffset(shift);
    };

    // In place when the reader reserved room: a long book's text is not held twice.
    std::string flow = std::move(body_);
    body_ = std::string();
    flow.reserve(shift + flow.size() + 16);
    flow.insert(0, prefix);
    flow += "</body></html>";
    for (const auto& link : prefixLinks) patch(flow, link.at, resolveTarget(link.target));
    for (const auto& link : links_) patch(flow, link.at + shift, resolveTarget(link.target));

    book.toc.clear();
    for (const auto& entry : toc_) book.toc.push_back({entry.title, resolveTarget(entry.target), entry.depth});
    book.startOffset = resolveTarget({kStartKey, {}});
    book.flow = std::move(flow);
    marks_.clear();
    links_.clear();
    toc_.clear();
}

std::string contentsTitleFor(const std::string& language, bool chineseHeadings) {
    const std::string tag = lowerAscii(language);
    if (tag.compare(0, 2, "ja") == 0) return u8"目次";
    if (tag.compare(0, 2, "zh") != 0 && !chineseHeadings) return "Contents";
    return isTraditionalChinese(tag) ? u8"目錄" : u8"目录";
}

}  // namespace mobigen
