#pragma once

#include "platform/files.h"

#include <string>
#include <vector>

// Reads a file line by line the way a text-mode stream does: CR LF ends a line, a lone CR
// stays in the text, a 0x1A byte ends the input, and a last line without a line end still
// counts. Lines come without their line end. A file that starts with a UTF-16 byte-order mark
// is decoded whole and its lines come in UTF-8, since its bytes are not text-mode characters.
class TextLineReader {
public:
    enum class Result { Line, End, Error };

    explicit TextLineReader(platform::InputFile& file) : file_(file), buffer_(64 * 1024) {}
    Result next(std::string& line);

private:
    bool fill();
    bool decodeUtf16IfMarked();

    platform::InputFile& file_;
    std::vector<char> buffer_;
    std::size_t position_ = 0;
    std::size_t size_ = 0;
    bool ended_ = false;  // end of file or 0x1A
    bool failed_ = false;
    bool started_ = false;
};
