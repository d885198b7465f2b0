#pragma once

// The four indexes of a KF8 part, each as its INDX records followed by its CNCX.

#include "mobigen/book.h"
#include "mobigen/kf8/layout.h"

#include <string>
#include <vector>

namespace mobigen {

std::vector<std::string> buildSkeletonIndex(const Kf8Layout& layout);
std::vector<std::string> buildFragmentIndex(const Kf8Layout& layout);
// Empty when the book names neither its contents nor its start.
std::vector<std::string> buildGuideIndex(const Kf8Part& part, const Kf8Layout& layout);
// Nested entries sorted by depth, so each parent's children are consecutive; empty without a TOC.
std::vector<std::string> buildKf8NcxIndex(const std::vector<Kf8TocEntry>& toc, const Kf8Layout& layout);

}  // namespace mobigen
