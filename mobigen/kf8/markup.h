#pragma once

// One KF8 document made ready to cut: `aid` attributes added, each internal link turned into
// a kindle:pos placeholder of fixed width, and where every element and id sits.

#include "mobigen/book.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mobigen {

constexpr int kNoElement = -1;

struct Kf8Element {
    std::size_t start = 0;         // its '<'
    std::size_t contentStart = 0;  // past its start tag
    std::size_t contentEnd = 0;    // its end tag's '<'
    std::size_t end = 0;           // past its end tag
    std::string aid;               // empty when it has none
    std::vector<int> children;
};

struct Kf8Link {
    std::size_t at = 0;  // where the placeholder starts in `text`
    Kf8Target target;
};

struct PreparedDocument {
    std::string text;
    std::vector<Kf8Element> elements;
    std::vector<int> roots;
    int body = kNoElement;
    std::unordered_map<std::string, std::size_t> ids;  // id -> its element's '<'
    std::vector<Kf8Link> links;
};

// The placeholder's width equals the final link's, so patching it moves nothing.
constexpr std::string_view kPosPlaceholder = "kindle:pos:fid:0000:off:0000000000";

// `nextAid` numbers aids across the whole book.
PreparedDocument prepareDocument(std::string_view xhtml, std::size_t& nextAid);

// Uppercase base 32 (0-9, A-V), zero-padded to `width` digits; at least the digits needed.
std::string base32(std::size_t value, std::size_t width = 0);

// A KF8 part's link to a document and an element in it, as the readers write it.
std::string kf8Link(std::size_t document, std::string_view id);

// Links and TOC entries to an id their document lacks point at the document's start, as
// the MOBI 6 part's do.
void pointMissingTargetsAtTheirDocument(Kf8Part& part);

}  // namespace mobigen
