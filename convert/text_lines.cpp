#include "convert/text_lines.h"

#include "platform/utf8.h"

#include <cstring>
#include <optional>

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

std::optional<platform::ByteOrder> utf16Mark(const char* bytes, std::size_t size) {
    if (size < 2) return std::nullopt;
    const std::string_view mark(bytes, 2);
    if (mark == "\xFF\xFE") return platform::ByteOrder::Little;
    if (mark == "\xFE\xFF") return platform::ByteOrder::Big;
    return std::nullopt;
}

}  // namespace

// Reads the rest of the file and puts its UTF-8 form in the buffer as the only block.
bool TextLineReader::decodeUtf16IfMarked() {
    const std::optional<platform::ByteOrder> order = utf16Mark(buffer_.data(), size_);
    if (!order) return true;
    std::string bytes(buffer_.data() + 2, size_ - 2);
    for (;;) {
        const long long got = file_.read(buffer_.data(), buffer_.size());
        if (got < 0) return false;
        if (got == 0) break;
        bytes.append(buffer_.data(), static_cast<std::size_t>(got));
    }
    std::string utf8;
    platform::appendUtf16AsUtf8(bytes, *order, utf8);
    buffer_.assign(utf8.begin(), utf8.end());
    size_ = buffer_.size();
    ended_ = true;
    return true;
}

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
    if (started_) return true;
    started_ = true;
    if (decodeUtf16IfMarked()) return size_ > 0;
    failed_ = true;
    ended_ = true;
    return false;
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
