#pragma once

#include <string>
#include <string_view>

namespace mobigen {

// Markup names and URI schemes are ASCII; other bytes pass unchanged.
inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace mobigen
