#pragma once

// The model between mobigen's readers (HTML, EPUB) and its MOBI writer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mobigen {

struct Metadata {
    std::string title;  // UTF-8; never empty once a reader is done
    std::vector<std::string> authors;
    std::string language;  // BCP 47 tag such as "zh" or "en-US", or ""
    std::string publisher;
    std::string date;
    std::string description;
    std::vector<std::string> subjects;
    std::string identifier;
    std::string isbn;
    std::string rights;
    std::vector<std::string> contributors;
};

struct Image {
    std::string data;  // the raw file: JPEG, GIF, PNG or BMP
};

struct TocEntry {
    std::string title;          // UTF-8
    std::uint32_t filepos = 0;  // byte offset in the flow of the target's '<'
    std::uint32_t length = 0;   // bytes up to the next entry or the end
    int depth = 0;
};

// Everything the writer needs. The flow is the finished MOBI markup in UTF-8: filepos
// values are resolved, images are referenced as recindex (1-based into `images`), and the
// guide in the head points at the contents page and the start.
struct Book {
    Metadata metadata;
    std::string flow;
    std::vector<Image> images;
    std::optional<std::size_t> coverImage;  // index into `images`
    std::vector<TocEntry> toc;
    std::uint32_t startOffset = 0;  // EXTH 116
};

// Warnings are collected rather than printed, so the command line decides the exit code.
struct Diagnostics {
    std::vector<std::string> warnings;
    void warn(std::string message) { warnings.push_back(std::move(message)); }
};

// A failure that stops the conversion: bad input, a refused archive. The message is shown
// to the user as is.
struct ConversionError {
    std::string message;
};

}  // namespace mobigen
