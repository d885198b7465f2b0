#include "ui/list_box.h"

namespace ui {

int ListBox::addString(const std::string& text) {
    return static_cast<int>(SendMessageA(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void ListBox::resetContent() { SendMessageA(window_, LB_RESETCONTENT, 0, 0); }

int ListBox::count() const { return static_cast<int>(SendMessageA(window_, LB_GETCOUNT, 0, 0)); }

std::string ListBox::text(int index) const {
    const LRESULT length = SendMessageA(window_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        SendMessageA(window_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

}  // namespace ui
