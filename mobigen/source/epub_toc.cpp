#include "mobigen/source/epub_toc.h"

#include "mobigen/source/href.h"
#include "mobigen/source/xml.h"

#include <sstream>

namespace mobigen {
namespace {

void addEntry(std::vector<EpubTocEntry>& entries, std::string title, std::string_view href, const std::string& folder,
              int depth) {
    if (href.empty() || hasUriScheme(href)) return;
    const HrefParts parts = splitHref(href);
    const auto path = resolvePath(folder, parts.path);
    if (!path) return;
    entries.push_back({std::move(title), *path, parts.fragment, depth});
}

void readNavPoints(const XmlNode& parent, const std::string& folder, int depth, std::vector<EpubTocEntry>& entries) {
    for (const XmlNode* point : parent.childrenNamed("navpoint")) {
        const XmlNode& label = point->child("navlabel");
        if (label.exists())
            addEntry(entries, label.textContent(), point->child("content").attribute("src"), folder, depth);
        readNavPoints(*point, folder, depth + 1, entries);
    }
}

bool isTocNav(const XmlNode& nav) {
    std::istringstream words(nav.attributeLocal("type"));
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
        const XmlNode& anchor = item->child("a");
        const XmlNode& link = anchor.exists() ? anchor : item->child("span");
        addEntry(entries, link.textContent(), link.attribute("href"), folder, depth);
        readNavList(item->child("ol"), folder, depth + 1, entries);
    }
}

}  // namespace

std::vector<EpubTocEntry> readNcxToc(std::string_view xml, const std::string& ncxPath) {
    const XmlNode root = parseXml(xml, ncxPath);
    std::vector<EpubTocEntry> entries;
    readNavPoints(findDescendant(root, "navmap"), folderOf(ncxPath), 0, entries);
    return entries;
}

std::vector<EpubTocEntry> readNavToc(std::string_view xml, const std::string& navPath) {
    const XmlNode root = parseXml(xml, navPath);
    const XmlNode* tocNav = findTocNav(root);
    const XmlNode& nav = tocNav != nullptr ? *tocNav : findDescendant(root, "nav");
    std::vector<EpubTocEntry> entries;
    readNavList(findDescendant(nav, "ol"), folderOf(navPath), 0, entries);
    return entries;
}

}  // namespace mobigen
