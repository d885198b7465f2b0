#include "mobigen/source/opf.h"

#include "mobigen/source/href.h"
#include "mobigen/source/xml.h"
#include "mobigen/text/ascii.h"

#include <algorithm>
#include <functional>
#include <sstream>

namespace mobigen {
namespace {

void forEachElement(const XmlNode& node, const std::function<void(const XmlNode&)>& visit) {
    for (const auto& c : node.children) {
        if (c.isText()) continue;
        visit(c);
        forEachElement(c, visit);
    }
}

using RolesById = std::multimap<std::string, std::string>;

// EPUB 3 gives roles through <meta refines="#id" property="role">, as many as a creator has.
RolesById refinedRoles(const XmlNode& metadata) {
    RolesById roles;
    forEachElement(metadata, [&](const XmlNode& e) {
        if (e.localName() == "meta" && e.attributeLocal("property") == "role") {
            const std::string target = e.attributeLocal("refines");
            if (!target.empty() && target[0] == '#') roles.emplace(target.substr(1), lowerAscii(e.textContent()));
        }
    });
    return roles;
}

// An author when any role says so, or when none is given: an annotator who is also the author
// must not hide the author.
bool isAuthor(const XmlNode& creator, const RolesById& refined) {
    std::vector<std::string> roles;
    const std::string attribute = lowerAscii(creator.attributeLocal("role"));
    if (!attribute.empty()) roles.push_back(attribute);
    const std::string id = creator.attributeLocal("id");
    if (!id.empty()) {
        const auto range = refined.equal_range(id);
        for (auto it = range.first; it != range.second; ++it) roles.push_back(it->second);
    }
    return roles.empty() || std::find(roles.begin(), roles.end(), "aut") != roles.end();
}

bool isIsbnChecksumValid(const std::string& digits) {
    if (digits.size() == 10) {
        int sum = 0;
        for (std::size_t i = 0; i < 10; ++i) {
            const int value = (i == 9 && (digits[i] == 'X' || digits[i] == 'x')) ? 10 : digits[i] - '0';
            if (value < 0 || value > 10 || (value == 10 && i != 9)) return false;
            sum += value * static_cast<int>(10 - i);
        }
        return sum % 11 == 0;
    }
    if (digits.size() == 13) {
        int sum = 0;
        for (std::size_t i = 0; i < 13; ++i) {
            if (digits[i] < '0' || digits[i] > '9') return false;
            sum += (digits[i] - '0') * (i % 2 == 0 ? 1 : 3);
        }
        return sum % 10 == 0;
    }
    return false;
}

// The package's own word on fixed layout, in either EPUB version's form.
void readLayoutMeta(const XmlNode& meta, Package& package) {
    const std::string name = meta.attributeLocal("name");
    const std::string property = meta.attributeLocal("property");
    if (property == "rendition:layout" && meta.attributeLocal("refines").empty())
        package.renditionLayout = lowerAscii(meta.textContent());
    if (name == "fixed-layout" && lowerAscii(meta.attributeLocal("content")) == "true")
        package.renditionLayout = "pre-paginated";
    if (name == "original-resolution") package.pageSize = meta.attributeLocal("content");
    if (property == "rendition:viewport" && package.pageSize.empty()) package.pageSize = meta.textContent();
}

void readMetadata(const XmlNode& metadataNode, const XmlNode& packageNode, Package& package) {
    Metadata& m = package.metadata;
    const auto roles = refinedRoles(metadataNode);
    const std::string uniqueId = packageNode.attributeLocal("unique-identifier");
    std::string firstIdentifier;
    bool havePublicationDate = false;
    forEachElement(metadataNode, [&](const XmlNode& e) {
        const std::string_view name = e.localName();
        const std::string text = e.textContent();
        if (name == "meta") {
            if (e.attributeLocal("name") == "cover") package.coverImageId = e.attributeLocal("content");
            if (e.attributeLocal("name") == "primary-writing-mode")
                package.primaryWritingMode = lowerAscii(e.attributeLocal("content"));
            readLayoutMeta(e, package);
            return;
        }
        if (text.empty()) return;
        if (name == "title" && m.title.empty()) {
            m.title = text;
        } else if (name == "creator") {
            (isAuthor(e, roles) ? m.authors : m.contributors).push_back(text);
        } else if (name == "contributor") {
            m.contributors.push_back(text);
        } else if (name == "language" && m.language.empty()) {
            m.language = text;
        } else if (name == "publisher" && m.publisher.empty()) {
            m.publisher = text;
        } else if (name == "date") {
            const bool publication = e.attributeLocal("event") == "publication";
            if (m.date.empty() || (publication && !havePublicationDate)) m.date = text;
            havePublicationDate = havePublicationDate || publication;
        } else if (name == "description" && m.description.empty()) {
            m.description = text;
        } else if (name == "subject") {
            m.subjects.push_back(text);
        } else if (name == "rights" && m.rights.empty()) {
            m.rights = text;
        } else if (name == "identifier") {
            if (firstIdentifier.empty()) firstIdentifier = text;
            if (!uniqueId.empty() && e.attributeLocal("id") == uniqueId) m.identifier = text;
            const std::string isbn = isbnFromIdentifier(text, lowerAscii(e.attributeLocal("scheme")) == "isbn");
            if (m.isbn.empty()) m.isbn = isbn;
        }
    });
    if (m.identifier.empty()) m.identifier = firstIdentifier;
}

void readManifest(const XmlNode& manifestNode, const std::string& opfFolder, Package& package,
                  Diagnostics& diagnostics) {
    for (const XmlNode* e : manifestNode.childrenNamed("item")) {
        ManifestItem item;
        item.id = e->attributeLocal("id");
        item.mediaType = lowerAscii(e->attributeLocal("media-type"));
        item.properties = e->attributeLocal("properties");
        const std::string href = e->attributeLocal("href");
        const auto path = resolvePath(opfFolder, splitHref(href).path);
        if (item.id.empty() || href.empty() || !path) {
            diagnostics.warn("The manifest entry \"" + item.id + "\" (" + href +
                             ") was ignored: it names no file inside the book.");
            continue;
        }
        item.path = *path;
        if (hasToken(item.properties, "cover-image")) package.coverImageId = item.id;
        if (hasToken(item.properties, "nav")) package.navPath = item.path;
        package.manifest.emplace(item.id, std::move(item));
    }
}

void readSpine(const XmlNode& spineNode, Package& package) {
    package.ncxId = spineNode.attributeLocal("toc");
    package.pageProgression = lowerAscii(spineNode.attributeLocal("page-progression-direction"));
    std::vector<SpineItem> auxiliary;
    for (const XmlNode* e : spineNode.childrenNamed("itemref")) {
        SpineItem item{e->attributeLocal("idref"), e->attributeLocal("linear") != "no",
                       e->attributeLocal("properties")};
        (item.linear ? package.spine : auxiliary).push_back(std::move(item));
    }
    package.spine.insert(package.spine.end(), auxiliary.begin(), auxiliary.end());
}

void readGuide(const XmlNode& guideNode, const std::string& opfFolder, Package& package) {
    for (const XmlNode* e : guideNode.childrenNamed("reference")) {
        const std::string type = lowerAscii(e->attributeLocal("type"));
        std::string& target = type == "text" ? package.startPath : package.contentsPath;
        if ((type != "text" && type != "toc") || !target.empty()) continue;
        const auto path = resolvePath(opfFolder, splitHref(e->attributeLocal("href")).path);
        if (path) target = *path;
    }
}

}  // namespace

bool hasToken(std::string_view list, std::string_view token) {
    std::istringstream words{std::string(list)};
    std::string word;
    while (words >> word) {
        if (word == token) return true;
    }
    return false;
}

const ManifestItem* Package::item(const std::string& id) const {
    const auto it = manifest.find(id);
    return it == manifest.end() ? nullptr : &it->second;
}

const ManifestItem* Package::itemByPath(const std::string& path) const {
    for (const auto& entry : manifest) {
        if (entry.second.path == path) return &entry.second;
    }
    return nullptr;
}

std::string packagePathFromContainer(std::string_view containerXml) {
    const XmlNode root = parseXml(containerXml, "META-INF/container.xml");
    std::string fallback;
    for (const XmlNode* e : findDescendant(root, "rootfiles").childrenNamed("rootfile")) {
        const std::string path = percentDecode(e->attributeLocal("full-path"));
        if (path.empty()) continue;
        if (e->attributeLocal("media-type") == "application/oebps-package+xml") return path;
        if (fallback.empty()) fallback = path;
    }
    if (fallback.empty()) throw ConversionError{"The EPUB's META-INF/container.xml names no package (.opf) file."};
    return fallback;
}

Package parsePackage(std::string_view opfXml, const std::string& opfPath, Diagnostics& diagnostics) {
    const XmlNode root = parseXml(opfXml, opfPath);
    if (root.localName() != "package")
        throw ConversionError{"The file " + opfPath + " is not an EPUB package document."};
    const std::string folder = folderOf(opfPath);
    Package package;
    readMetadata(root.child("metadata"), root, package);
    const XmlNode& manifest = root.child("manifest");
    const XmlNode& spine = root.child("spine");
    if (!manifest.exists()) throw ConversionError{"The package file " + opfPath + " has no manifest."};
    if (!spine.exists()) throw ConversionError{"The package file " + opfPath + " has no spine (reading order)."};
    readManifest(manifest, folder, package, diagnostics);
    readSpine(spine, package);
    readGuide(root.child("guide"), folder, package);
    if (!package.coverImageId.empty() && package.item(package.coverImageId) == nullptr) {
        // Some books name the cover file rather than its id.
        const auto path = resolvePath(folder, percentDecode(package.coverImageId));
        const ManifestItem* byPath = path ? package.itemByPath(*path) : nullptr;
        package.coverImageId = byPath ? byPath->id : std::string();
    }
    return package;
}

std::string isbnFromIdentifier(std::string_view identifier, bool declaredIsbn) {
    std::string text = lowerAscii(identifier);
    for (const std::string_view prefix : {"urn:isbn:", "isbn:", "isbn "}) {
        if (text.compare(0, prefix.size(), prefix) == 0) {
            text = text.substr(prefix.size());
            declaredIsbn = true;
            break;
        }
    }
    std::string digits;
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || c == 'x') {
            digits += c == 'x' ? 'X' : c;
        } else if (c != '-' && c != ' ') {
            return {};
        }
    }
    if (digits.size() != 10 && digits.size() != 13) return {};
    // Only an ISBN-10 may end in X, and nowhere else.
    const std::size_t x = digits.find('X');
    if (x != std::string::npos && (digits.size() != 10 || x != 9)) return {};
    return declaredIsbn || isIsbnChecksumValid(digits) ? digits : std::string();
}

}  // namespace mobigen
