#include "mobigen/source/xml.h"

#include "mobigen/book.h"
#include "platform/utf8.h"

namespace mobigen {
namespace {

const std::string kNoValue;
const XmlNode kMissingNode;

// Deeper trees are refused: the recursive walks below must not exhaust the stack.
constexpr std::size_t kMaxDepth = 200;

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void appendCollapsed(std::string& out, std::string_view text, bool& pendingSpace) {
    for (const char c : text) {
        if (isXmlSpace(c)) {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !out.empty()) out += ' ';
        pendingSpace = false;
        out += c;
    }
}

void collectText(const XmlNode& node, std::string& out, bool& pendingSpace) {
    if (node.isText()) {
        appendCollapsed(out, node.text, pendingSpace);
        return;
    }
    for (const auto& c : node.children) collectText(c, out, pendingSpace);
}

[[noreturn]] void fail(const std::string& fileName, std::string_view bytes, std::size_t offset,
                       const std::string& what) {
    throw ConversionError{"The file " + fileName + " is not well-formed XML (line " +
                          std::to_string(lineNumberAt(bytes, offset)) + "): " + what};
}

std::string_view withoutByteOrderMark(std::string_view bytes, const std::string& fileName) {
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
        throw ConversionError{"The file " + fileName + " is in UTF-16, which is not supported; save it as UTF-8."};
    }
    return platform::withoutUtf8Mark(bytes);
}

}  // namespace

std::string_view localPart(std::string_view qualifiedName) {
    const std::size_t colon = qualifiedName.rfind(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

std::string_view XmlNode::localName() const { return localPart(name); }

const std::string& XmlNode::attribute(std::string_view attributeName) const {
    for (const auto& a : attributes) {
        if (a.name == attributeName) return a.value;
    }
    return kNoValue;
}

const std::string& XmlNode::attributeLocal(std::string_view localAttributeName) const {
    for (const auto& a : attributes) {
        if (localPart(a.name) == localAttributeName) return a.value;
    }
    return kNoValue;
}

const XmlNode& XmlNode::child(std::string_view local) const {
    for (const auto& c : children) {
        if (!c.isText() && c.localName() == local) return c;
    }
    return kMissingNode;
}

std::vector<const XmlNode*> XmlNode::childrenNamed(std::string_view local) const {
    std::vector<const XmlNode*> found;
    for (const auto& c : children) {
        if (!c.isText() && c.localName() == local) found.push_back(&c);
    }
    return found;
}

std::string XmlNode::textContent() const {
    std::string out;
    bool pendingSpace = false;
    collectText(*this, out, pendingSpace);
    return out;
}

const XmlNode& findDescendant(const XmlNode& root, std::string_view local) {
    for (const auto& c : root.children) {
        if (c.isText()) continue;
        if (c.localName() == local) return c;
        const XmlNode& found = findDescendant(c, local);
        if (found.exists()) return found;
    }
    return kMissingNode;
}

XmlNode parseXml(std::string_view bytes, const std::string& fileName) {
    bytes = withoutByteOrderMark(bytes, fileName);
    std::vector<XmlNode> open;
    XmlNode root;
    bool haveRoot = false;
    // A finished element goes to its parent, or becomes the root.
    const auto attach = [&](XmlNode&& node) {
        if (open.empty()) {
            root = std::move(node);
            haveRoot = true;
        } else {
            open.back().children.push_back(std::move(node));
        }
    };
    HtmlTokenizer tokenizer(bytes);
    HtmlToken token;
    while (tokenizer.next(token)) {
        switch (token.kind) {
        case HtmlTokenKind::StartTag: {
            if (open.empty() && haveRoot) break;  // stray content after the root
            XmlNode node;
            node.name = std::move(token.name);
            node.attributes = std::move(token.attributes);
            if (token.selfClosing) {
                attach(std::move(node));
                break;
            }
            if (open.size() >= kMaxDepth) fail(fileName, bytes, token.offset, "elements are nested too deeply");
            open.push_back(std::move(node));
            break;
        }
        case HtmlTokenKind::EndTag: {
            if (open.empty() || open.back().name != token.name) {
                const std::string expected = open.empty() ? "nothing open" : "<" + open.back().name + "> is open";
                fail(fileName, bytes, token.offset, "</" + token.name + "> found where " + expected);
            }
            XmlNode done = std::move(open.back());
            open.pop_back();
            attach(std::move(done));
            break;
        }
        case HtmlTokenKind::Text:
        case HtmlTokenKind::CData:
            if (!open.empty()) {
                XmlNode text;
                text.text = std::move(token.text);
                open.back().children.push_back(std::move(text));
            }
            break;
        default:
            break;
        }
    }
    if (!open.empty()) fail(fileName, bytes, bytes.size(), "<" + open.back().name + "> is never closed");
    if (!haveRoot) throw ConversionError{"The file " + fileName + " is empty or holds no XML element."};
    return root;
}

}  // namespace mobigen
