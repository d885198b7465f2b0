#include "mobigen/kf8/markup.h"

#include "mobigen/records/index.h"
#include "mobigen/text/entities.h"
#include "mobigen/text/html_tokenizer.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace mobigen {
namespace {

constexpr std::string_view kLinkPrefix = "#kf8link:";

// Elements a position can be named by. None inside tables, as other writers do.
bool takesAid(std::string_view name) {
    static const std::string_view names[] = {
        "a",   "article", "aside",      "b",      "big",  "blockquote", "body",   "center", "cite",   "code",   "dd",
        "del", "dfn",     "div",        "dl",     "dt",   "em",         "figure", "footer", "h1",     "h2",     "h3",
        "h4",  "h5",      "h6",         "header", "i",    "img",        "ins",    "kbd",    "li",     "nav",    "ol",
        "p",   "pre",     "q",          "s",      "samp", "section",    "small",  "span",   "strike", "strong", "sub",
        "sup", "table",   "figcaption", "tt",     "u",    "ul",         "var",
    };
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool startsTableInside(std::string_view name) { return name == "table"; }

class DocumentPreparer {
public:
    DocumentPreparer(std::string_view xhtml, std::size_t& nextAid) : input_(xhtml), nextAid_(nextAid) {
        doc_.text.reserve(xhtml.size() + xhtml.size() / 8);
    }

    PreparedDocument run() {
        HtmlTokenizer tokenizer(input_);
        HtmlToken token;
        HtmlToken following;
        bool more = tokenizer.next(token);
        while (more) {
            const bool haveNext = tokenizer.next(following);
            const std::size_t end = haveNext ? following.offset : input_.size();
            take(token, input_.substr(token.offset, end - token.offset));
            std::swap(token, following);
            more = haveNext;
        }
        while (!open_.empty()) close(doc_.text.size(), doc_.text.size());
        return std::move(doc_);
    }

private:
    void take(const HtmlToken& token, std::string_view raw) {
        if (token.kind == HtmlTokenKind::StartTag) {
            startTag(token, raw);
        } else if (token.kind == HtmlTokenKind::EndTag) {
            endTag(token.name, raw);
        } else {
            doc_.text += raw;
        }
    }

    void startTag(const HtmlToken& token, std::string_view raw) {
        const std::size_t start = doc_.text.size();
        Kf8Element element;
        element.start = start;
        std::string tag(raw);
        rewriteLink(token, tag, start);
        element.aid = aidFor(token, tag);
        if (const std::string* id = token.attribute("id")) doc_.ids.emplace(*id, start);
        doc_.text += tag;
        element.contentStart = doc_.text.size();

        const int index = static_cast<int>(doc_.elements.size());
        (open_.empty() ? doc_.roots : doc_.elements[static_cast<std::size_t>(open_.back())].children).push_back(index);
        doc_.elements.push_back(std::move(element));
        if (token.name == "body" && doc_.body == kNoElement && !token.selfClosing) {
            doc_.body = index;
            // The first fragment starts with it: no element sits at its offset 0, which names the
            // document's start, and even an empty body has content to cut.
            doc_.text += '\n';
        }
        if (token.name == "head") ++inHead_;
        if (startsTableInside(token.name)) ++inTable_;
        if (token.selfClosing) {
            closeFlags(token.name);
            doc_.elements.back().contentEnd = doc_.elements.back().end = doc_.text.size();
        } else {
            open_.push_back(index);
            openNames_.push_back(token.name);
        }
    }

    void endTag(const std::string& name, std::string_view raw) {
        const auto match = std::find(openNames_.rbegin(), openNames_.rend(), name);
        if (match == openNames_.rend()) return;  // a stray end tag would unbalance the document
        const std::size_t at = doc_.text.size();
        while (openNames_.back() != name) close(at, at);
        const std::size_t contentEnd = doc_.text.size();
        doc_.text += raw;
        close(contentEnd, doc_.text.size());
    }

    void close(std::size_t contentEnd, std::size_t end) {
        Kf8Element& element = doc_.elements[static_cast<std::size_t>(open_.back())];
        element.contentEnd = contentEnd;
        element.end = end;
        closeFlags(openNames_.back());
        open_.pop_back();
        openNames_.pop_back();
    }

    void closeFlags(std::string_view name) {
        if (name == "head" && inHead_ > 0) --inHead_;
        if (startsTableInside(name) && inTable_ > 0) --inTable_;
    }

    std::string aidFor(const HtmlToken& token, std::string& tag) {
        if (const std::string* existing = token.attribute("aid")) return *existing;
        const bool insideTable = inTable_ > 0 && !startsTableInside(token.name);
        if (inHead_ > 0 || insideTable || !takesAid(token.name)) return {};
        std::size_t close = tag.size();
        if (close == 0 || tag[close - 1] != '>') return {};
        --close;
        if (close > 0 && tag[close - 1] == '/') --close;
        std::string aid = base32(nextAid_++);
        tag.insert(close, " aid=\"" + aid + "\"");
        return aid;
    }

    // href="#kf8link:DOC:ID" becomes a placeholder; its target is resolved once all
    // documents are cut.
    void rewriteLink(const HtmlToken& token, std::string& tag, std::size_t tagStart) {
        const std::string* href = token.attribute("href");
        if (!href || href->compare(0, kLinkPrefix.size(), kLinkPrefix) != 0) return;
        std::size_t valueStart = std::string::npos;
        for (const char* quoted : {"\"#kf8link:", "'#kf8link:"}) valueStart = std::min(valueStart, tag.find(quoted));
        if (valueStart == std::string::npos) return;
        ++valueStart;
        const std::size_t valueEnd = tag.find(tag[valueStart - 1], valueStart);
        if (valueEnd == std::string::npos) return;
        tag.replace(valueStart, valueEnd - valueStart, kPosPlaceholder);
        doc_.links.push_back({tagStart + valueStart, parseTarget(std::string_view(*href).substr(kLinkPrefix.size()))});
    }

    static Kf8Target parseTarget(std::string_view reference) {
        Kf8Target target;
        const std::size_t colon = reference.find(':');
        const std::string number(reference.substr(0, colon));
        target.document = number.empty() || number.find_first_not_of("0123456789") != std::string::npos
                              ? 0
                              : static_cast<std::size_t>(std::strtoull(number.c_str(), nullptr, 10));
        if (colon != std::string_view::npos) target.id = std::string(reference.substr(colon + 1));
        return target;
    }

    std::string_view input_;
    std::size_t& nextAid_;
    PreparedDocument doc_;
    std::vector<int> open_;
    std::vector<std::string> openNames_;
    int inHead_ = 0;
    int inTable_ = 0;
};

}  // namespace

std::string base32(std::size_t value, std::size_t width) { return upperDigits(value, 5, width); }

PreparedDocument prepareDocument(std::string_view xhtml, std::size_t& nextAid) {
    return DocumentPreparer(xhtml, nextAid).run();
}

std::string kf8Link(std::size_t document, std::string_view id) {
    return std::string(kLinkPrefix) + std::to_string(document) + ":" + (id.empty() ? std::string() : xmlId(id));
}

namespace {

constexpr std::string_view kQuotedLink = "\"#kf8link:";

std::set<std::string> idsIn(const std::string& document) {
    std::set<std::string> ids;
    constexpr std::string_view kId = " id=\"";
    for (std::size_t at = document.find(kId); at != std::string::npos; at = document.find(kId, at + 1)) {
        const std::size_t start = at + kId.size();
        ids.insert(document.substr(start, document.find('"', start) - start));
    }
    return ids;
}

}  // namespace

void pointMissingTargetsAtTheirDocument(Kf8Part& part) {
    std::vector<std::set<std::string>> ids;
    for (const auto& document : part.documents) ids.push_back(idsIn(document));
    const auto exists = [&](std::size_t document, const std::string& id) {
        return document < ids.size() && (id.empty() || ids[document].count(id) != 0);
    };
    for (auto& document : part.documents) {
        for (std::size_t at = document.find(kQuotedLink); at != std::string::npos;
             at = document.find(kQuotedLink, at + 1)) {
            const std::size_t number = at + kQuotedLink.size();
            const std::size_t colon = document.find(':', number);
            const std::size_t end = document.find('"', number);
            if (colon == std::string::npos || end == std::string::npos || colon > end) continue;
            // The same characters may stand in the book's own text; only our digits are a link.
            const std::string digits = document.substr(number, colon - number);
            if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const std::size_t target = std::stoul(digits);
            if (!exists(target, document.substr(colon + 1, end - colon - 1)))
                document.erase(colon + 1, end - colon - 1);
        }
    }
    for (auto& entry : part.toc) {
        if (!exists(entry.target.document, entry.target.id)) entry.target.id.clear();
    }
}

}  // namespace mobigen
