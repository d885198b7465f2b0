#include "mobigen/epub_toc.h"

#include "mobigen/href.h"
#include "mobigen/xml.h"

#include <sstream>

namespace mobigen {
namespace {

void addEntry(std::vector<EpubTocEntry>& entries, std::string title, std::string_view href, const std::string& folder, int depth) {
    if (href.empty() || hasUriScheme(href)) return;
    const HrefParts parts = splitHref(href);
    const auto path = resolvePath(folder, parts.path);
    if (!path) return;
    entries.push_back({std::move(title), *path, parts.fragment, depth});
}

void readNavPoints(const XmlNode& parent, const std::string& folder, int depth, std::vector<EpubTocEntry>& entries) {
    for (const XmlNode* point : parent.childrenNamed("navpoint")) {
        const XmlNode* label = point->child("navlabel");
        const XmlNode* content = point->child("content");
        const std::string* src = content ? content->attribute("src") : nullptr;
        if (label != nullptr && src != nullptr) addEntry(entries, label->textContent(), *src, folder, depth);
        readNavPoints(*point, folder, depth + 1, entries);
    }
}

bool isTocNav(const XmlNode& nav) {
    const std::string* type = nav.attributeLocal("type");
    if (type == nullptr) return false;
    std::istringstream words(*type);
    std::string word;
    while (words >> word) {
        if (word == "toc") return true;
    }
    return false;
}

const XmlNode* findTocNav(const XmlNode& node) {
    for (const auto& c : node.children) {
        if (c.isText()) continue;
        if (c.localName() == "nav" && isTocNav(c)) return &c;
        if (const XmlNode* found = findTocNav(c)) return found;
    }
    return nullptr;
}

void readNavList(const XmlNode& list, const std::string& folder, int depth, std::vector<EpubTocEntry>& entries) {
    for (const XmlNode* item : list.childrenNamed("li")) {
        const XmlNode* link = item->child("a");
        if (link == nullptr) link = item->child("span");
        const std::string* href = link ? link->attribute("href") : nullptr;
        if (href != nullptr) addEntry(entries, link->textContent(), *href, folder, depth);
        if (const XmlNode* nested = item->child("ol")) readNavList(*nested, folder, depth + 1, entries);
    }
}

}  // namespace

std::vector<EpubTocEntry> readNcxToc(std::string_view xml, const std::string& ncxPath) {
    const XmlNode root = parseXml(xml, ncxPath);
    std::vector<EpubTocEntry> entries;
    if (const XmlNode* navMap = findDescendant(root, "navmap")) readNavPoints(*navMap, folderOf(ncxPath), 0, entries);
    return entries;
}

std::vector<EpubTocEntry> readNavToc(std::string_view xml, const std::string& navPath) {
    const XmlNode root = parseXml(xml, navPath);
    const XmlNode* nav = findTocNav(root);
    if (nav == nullptr) nav = findDescendant(root, "nav");
    std::vector<EpubTocEntry> entries;
    const XmlNode* list = nav ? findDescendant(*nav, "ol") : nullptr;
    if (list != nullptr) readNavList(*list, folderOf(navPath), 0, entries);
    return entries;
}

}  // namespace mobigen
