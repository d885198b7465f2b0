#include "mobigen/source/href.h"

#include "mobigen/text/ascii.h"

#include <vector>

namespace mobigen {
namespace {}  // namespace

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
            hexDigitValue(text[i + 2]) >= 0) {
            const int value = hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]);
            if (value != 0) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

HrefParts splitHref(std::string_view href) {
    const std::size_t hash = href.find('#');
    std::string_view path = href.substr(0, hash);
    const std::size_t query = path.find('?');
    if (query != std::string_view::npos) path = path.substr(0, query);
    HrefParts parts;
    parts.path = percentDecode(path);
    if (hash != std::string_view::npos) parts.fragment = percentDecode(href.substr(hash + 1));
    return parts;
}

bool hasUriScheme(std::string_view href) {
    const std::size_t colon = href.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;  // "C:" is a drive, not a scheme
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = href[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
        if (!letter && !other) return false;
    }
    return true;
}

bool isFollowableExternalHref(std::string_view href) {
    if (!hasUriScheme(href)) return false;
    const std::string scheme = lowerAscii(href.substr(0, href.find(':')));
    return scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "ftp";
}

std::string folderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::optional<std::string> resolvePath(std::string_view folder, std::string_view relative) {
    std::string joined = relative.empty() || relative[0] != '/' ? std::string(folder) + std::string(relative)
                                                                : std::string(relative.substr(1));
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string segment = joined.substr(start, end - start);
        if (segment == "..") {
            if (segments.empty()) return std::nullopt;
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& s : segments) {
        if (!out.empty()) out += '/';
        out += s;
    }
    return out;
}

}  // namespace mobigen
