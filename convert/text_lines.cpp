#include "convert/text_lines.h"

#include <cstring>

namespace {

constexpr char kEndOfText = '\x1A';

// Length of the leading run without LF, CR or 0x1A. memchr is vectorised; a byte loop over a
// 100 MB novel would cost more than all the rest of the step.
std::size_t plainRun(const char* text, std::size_t size) {
    const void* lineFeed = std::memchr(text, '\n', size);
    std::size_t run = lineFeed ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - text) : size;
    for (const char special : {'\r', kEndOfText}) {
        const void* found = std::memchr(text, special, run);
        if (found) run = static_cast<std::size_t>(static_cast<const char*>(found) - text);
    }
    return run;
}

}  // namespace

bool TextLineReader::fill() {
    if (ended_) return false;
    const long long got = file_.read(buffer_.data(), buffer_.size());
    if (got < 0) failed_ = true;
    if (got <= 0) {
        ended_ = true;
        return false;
    }
    position_ = 0;
    size_ = static_cast<std::size_t>(got);
    return true;
}

TextLineReader::Result TextLineReader::next(std::string& line) {
    line.clear();
    bool haveText = false;
    for (;;) {
        if (position_ == size_ && !fill()) break;
        const char* start = buffer_.data() + position_;
        const std::size_t available = size_ - position_;
        // Copy the plain run up to the next byte that needs a decision, in one append.
        const std::size_t run = plainRun(start, available);
        line.append(start, run);
        haveText = haveText || run > 0;
        position_ += run;
        if (position_ == size_) continue;

        const char c = buffer_[position_++];
        if (c == '\n') return Result::Line;
        if (c == kEndOfText) {
            ended_ = true;
            position_ = size_;
            break;
        }
        // A CR: a line end only when LF follows, which may be in the next block.
        haveText = true;
        if (position_ == size_ && !fill()) {
            line += '\r';
            break;
        }
        if (buffer_[position_] == '\n') {
            ++position_;
            return Result::Line;
        }
        line += '\r';
    }
    if (failed_) return Result::Error;
    return haveText ? Result::Line : Result::End;
}
