// The path helpers against their contracts, for any bytes a dropped name might hold. Natively
// names are UTF-8, so a plain byte search is the reference.

#include "convert/path_helpers.h"
#include "fuzz/fuzz_support.h"
#include "platform/mbstring.h"

namespace {

void checkExtension(const std::string& path) {
    const std::string extension = fileExtension(path);
    const std::string stem = stripExtension(path);
    const auto dot = path.rfind('.');
    if (dot == std::string::npos) {
        fuzz::check(extension.empty(), "an extension without a dot");
        fuzz::check(stem == path, "a path without a dot lost text");
        return;
    }
    fuzz::check(path.compare(dot + 1, std::string::npos, extension) == 0, "the extension is not the path's tail");
    fuzz::check(extension.find('.') == std::string::npos, "the extension holds a dot");
    if (dot == 0) {
        fuzz::check(stem == path, "a leading dot was stripped");
    } else {
        fuzz::check(stem + "." + extension == path, "stem + '.' + extension differs from the path");
        fuzz::check(stem.size() == dot, "the stem does not end at the last dot");
    }
}

void checkTrailingSeparator(const std::string& directory) {
    const char separator = platform::pathSeparator();
    const std::string withSeparator = withTrailingBackslash(directory);
    if (directory.empty()) {
        fuzz::check(withSeparator.empty(), "an empty folder gained a separator");
        return;
    }
    fuzz::check(withSeparator.back() == separator, "no trailing separator");
    fuzz::check(withSeparator.compare(0, directory.size(), directory) == 0, "the folder itself changed");
    const std::size_t added = withSeparator.size() - directory.size();
    fuzz::check(added == (directory.back() == separator ? 0u : 1u), "a separator was doubled or missing");
    fuzz::check(withTrailingBackslash(withSeparator) == withSeparator, "not idempotent");
}

void checkDirectoryPart(const std::string& path) {
    const std::string directory = directoryPart(path);
    const auto separator = path.rfind(platform::pathSeparator());
    if (separator == std::string::npos) {
        fuzz::check(directory == path, "a path without a separator changed");
    } else {
        fuzz::check(directory == path.substr(0, separator), "the folder is not cut at the last separator");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path(fuzz::bytesOf(data, size));
    checkExtension(path);
    checkTrailingSeparator(path);
    checkDirectoryPart(path);
    // Wildcards are refused before the file system is asked.
    if (path.find_first_of("*?") != std::string::npos) fuzz::check(!fileExists(path), "a wildcard path exists");
    return 0;
}
