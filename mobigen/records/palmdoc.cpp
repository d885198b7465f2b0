#include "mobigen/records/palmdoc.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace mobigen {
namespace {

constexpr std::size_t kMaxDistance = 2047;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 10;
constexpr std::size_t kMaxLiteralRun = 8;
constexpr int kHashBits = 12;
// Deeper walks gain almost nothing on prose and cost time on repetitive input.
constexpr int kMaxChainSteps = 48;
constexpr std::int32_t kNone = -1;

unsigned char byteAt(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Bytes the decoder would read as a command must travel inside a literal run.
bool needsLiteralRun(unsigned char c) { return (c >= 0x01 && c <= 0x08) || c >= 0x80; }

bool isSpacePair(std::string_view s, std::size_t i) {
    if (i + 1 >= s.size() || s[i] != ' ') return false;
    const unsigned char next = byteAt(s, i + 1);
    return next >= 0x40 && next <= 0x7F;
}

class MatchFinder {
public:
    explicit MatchFinder(std::string_view data)
        : data_(data), head_(std::size_t{1} << kHashBits, kNone), previous_(data.size(), kNone) {}

    void insert(std::size_t position) {
        if (position + kMinMatch > data_.size()) return;
        std::int32_t& slot = head_[hashAt(position)];
        previous_[position] = slot;
        slot = static_cast<std::int32_t>(position);
    }

    struct Match {
        std::size_t distance = 0;
        std::size_t length = 0;
    };

    // Longest earlier match for `position`; call before inserting `position` itself.
    Match longestAt(std::size_t position) const {
        Match best;
        if (position + kMinMatch > data_.size()) return best;
        const std::size_t limit = std::min(kMaxMatch, data_.size() - position);
        std::int32_t candidate = head_[hashAt(position)];
        for (int steps = 0; candidate != kNone && steps < kMaxChainSteps; ++steps) {
            const std::size_t from = static_cast<std::size_t>(candidate);
            if (position - from > kMaxDistance) break;
            std::size_t length = 0;
            while (length < limit && data_[from + length] == data_[position + length]) ++length;
            if (length > best.length) {
                best = {position - from, length};
                if (length == limit) break;
            }
            candidate = previous_[from];
        }
        if (best.length < kMinMatch) best.length = 0;
        return best;
    }

private:
    std::size_t hashAt(std::size_t i) const {
        const std::uint32_t key =
            (std::uint32_t{byteAt(data_, i)} << 16) | (std::uint32_t{byteAt(data_, i + 1)} << 8) | byteAt(data_, i + 2);
        return (key * 2654435761u) >> (32 - kHashBits);
    }

    std::string_view data_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> previous_;
};

class Encoder {
public:
    explicit Encoder(std::size_t sizeHint) { out_.reserve(sizeHint + sizeHint / 8 + 16); }

    void match(std::size_t distance, std::size_t length) {
        flushRun();
        const auto word = static_cast<std::uint16_t>(0x8000u | (distance << 3) | (length - kMinMatch));
        out_.push_back(static_cast<char>(word >> 8));
        out_.push_back(static_cast<char>(word & 0xFF));
    }

    void spacePair(unsigned char next) {
        flushRun();
        out_.push_back(static_cast<char>(next ^ 0x80));
    }

    // A plain byte joins a pending run: it costs the same there and may spare a count byte.
    void byte(unsigned char c) {
        if (needsLiteralRun(c) || !run_.empty()) {
            run_.push_back(static_cast<char>(c));
            if (run_.size() == kMaxLiteralRun) flushRun();
        } else {
            out_.push_back(static_cast<char>(c));
        }
    }

    std::string finish() {
        flushRun();
        return std::move(out_);
    }

private:
    void flushRun() {
        if (run_.empty()) return;
        out_.push_back(static_cast<char>(run_.size()));
        out_ += run_;
        run_.clear();
    }

    std::string out_;
    std::string run_;
};

}  // namespace

std::string compressPalmDoc(std::string_view record) {
    MatchFinder finder(record);
    Encoder encoder(record.size());
    std::size_t i = 0;
    while (i < record.size()) {
        const MatchFinder::Match found = finder.longestAt(i);
        if (found.length > 0) {
            encoder.match(found.distance, found.length);
            for (std::size_t end = i + found.length; i < end; ++i) finder.insert(i);
        } else if (isSpacePair(record, i)) {
            encoder.spacePair(byteAt(record, i + 1));
            finder.insert(i);
            finder.insert(i + 1);
            i += 2;
        } else {
            encoder.byte(byteAt(record, i));
            finder.insert(i);
            ++i;
        }
    }
    return encoder.finish();
}

}  // namespace mobigen
