#include "mobigen/outline/outline.h"

namespace mobigen {

void Outline::add(std::string title, int level, std::size_t at) {
    while (!open_.empty() && open_.back() >= level) open_.pop_back();
    const int depth = static_cast<int>(open_.size());
    open_.push_back(level);
    entries_.push_back({std::move(title), level, depth, at});
}

}  // namespace mobigen
