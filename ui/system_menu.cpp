#include "ui/system_menu.h"

#include "resource.h"

#include <vector>

namespace ui {

std::string loadString(UINT id) {
    // LoadStringA cuts silently at the buffer's end, so grow until the text fits with room left.
    std::vector<char> buffer(256);
    for (;;) {
        const int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size() - 2) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

void appendAboutItem(HMENU menu, const std::string& text) {
    if (!menu || text.empty()) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
}

}  // namespace ui
