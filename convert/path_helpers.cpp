#include "convert/path_helpers.h"

#include "platform/files.h"
#include "platform/mbstring.h"
#include "platform/module.h"

bool fileExists(const std::string& path) {
    // A directory search would expand wildcards and could find some other file.
    if (path.find_first_of("*?") != std::string::npos) return false;
    return platform::directoryEntryExists(path);
}

std::string fileExtension(const std::string& path) {
    const auto dot = platform::findLastCharacter(path, '.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string stripExtension(const std::string& path) {
    const auto dot = platform::findLastCharacter(path, '.');
    return dot == std::string::npos || dot == 0 ? path : path.substr(0, dot);
}

std::string directoryPart(const std::string& path) {
    const auto separator = platform::findLastCharacter(path, platform::pathSeparator());
    return separator == std::string::npos ? path : path.substr(0, separator);
}

std::string programDirectory() { return directoryPart(platform::executablePath()); }

std::string withTrailingBackslash(const std::string& directory) {
    // Deliberately a byte test: a GBK trail byte 0x5C already counts as the separator.
    if (directory.empty() || directory.back() == platform::pathSeparator()) return directory;
    return directory + platform::pathSeparator();
}
