#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mobigen {

// One entry of a book's outline, the same for both parts: each renders it as its own contents
// page and NCX.
struct OutlineEntry {
    std::string title;   // plain text, UTF-8
    int level = 1;       // as the source gives it: 1 for h1 or a volume, larger for what it holds
    int depth = 0;       // below how many earlier entries of lower levels it sits
    std::size_t at = 0;  // where it points in its source: a text page's line, or the n-th heading
};

// Depths come from a stack of open levels, so a chapter sits below the volume before it, and
// a skipped level (h1, then h3) nests one step, not two.
class Outline {
public:
    void add(std::string title, int level, std::size_t at);
    const std::vector<OutlineEntry>& entries() const { return entries_; }

private:
    std::vector<OutlineEntry> entries_;
    std::vector<int> open_;
};

}  // namespace mobigen
