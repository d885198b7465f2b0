#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mobigen {

// A reference inside a book split into its (percent-decoded) path and fragment.
struct HrefParts {
    std::string path;      // without query; empty for "#id"
    std::string fragment;  // without '#'
};

std::string percentDecode(std::string_view text);

HrefParts splitHref(std::string_view href);

// "http:", "mailto:", "javascript:" …: anything with a URI scheme.
bool hasUriScheme(std::string_view href);

// The schemes a reader can follow; others (javascript: and the like) are dropped.
bool isFollowableExternalHref(std::string_view href);

// "OEBPS/Text/" for "OEBPS/Text/ch1.xhtml", "" for a top-level file.
std::string folderOf(std::string_view path);

// Joins a decoded relative path to a folder and removes "." and ".." segments. Nothing when
// the result would climb above the archive's root.
std::optional<std::string> resolvePath(std::string_view folder, std::string_view relative);

}  // namespace mobigen
