#pragma once

#include "mobigen/text/html_tokenizer.h"

#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

// An element tree for the small XML files of an EPUB (container, OPF, NCX, nav). Names are
// lower case with their prefix ("dc:title"); lookups by local name ignore the prefix. A
// lookup that finds nothing gives an empty string or a node that does not exist, never null.
struct XmlNode {
    std::string name;  // empty for a text node
    std::vector<HtmlAttribute> attributes;
    std::vector<XmlNode> children;
    std::string text;  // text nodes only

    bool isText() const { return name.empty(); }
    bool exists() const { return !name.empty(); }
    std::string_view localName() const;
    const std::string& attribute(std::string_view attributeName) const;
    // Attribute by local name, whatever its prefix ("opf:role" or "role").
    const std::string& attributeLocal(std::string_view localAttributeName) const;
    const XmlNode& child(std::string_view local) const;
    std::vector<const XmlNode*> childrenNamed(std::string_view local) const;
    // The text of this node and its descendants, white space collapsed and trimmed.
    std::string textContent() const;
};

// Parses a document and returns its root element. Throws ConversionError naming `fileName`
// and the line when the XML is not well formed (mismatched or unclosed elements, no root).
XmlNode parseXml(std::string_view bytes, const std::string& fileName);

// Depth-first search for the first element with this local name.
const XmlNode& findDescendant(const XmlNode& root, std::string_view local);

std::string_view localPart(std::string_view qualifiedName);

}  // namespace mobigen
