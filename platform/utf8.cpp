#include "platform/utf8.h"

namespace platform {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

struct SequenceCheck {
    std::size_t length;  // bytes of a valid sequence, or of the invalid subpart to replace
    bool valid;
};

// Allowed range of the second byte for each lead; later bytes are always 80-BF.
SequenceCheck checkSequence(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {1, true};
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {1, false};
    }
    const std::size_t available = text.size() - at;
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= available) return {i, false};
        const unsigned char c = byte(i);
        const bool inRange = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        if (!inRange) return {i, false};
    }
    return {length, true};
}

struct InvalidRun {
    std::size_t at;
    std::size_t length;
};

// The next invalid subpart at or after `from`; `at` is the text's size when there is none.
InvalidRun nextInvalid(std::string_view text, std::size_t from) {
    std::size_t i = from;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const SequenceCheck check = checkSequence(text, i);
        if (!check.valid) return {i, check.length};
        i += check.length;
    }
    return {text.size(), 0};
}

}  // namespace

bool isValidUtf8(std::string_view text) { return nextInvalid(text, 0).at == text.size(); }

std::size_t appendRepairedUtf8(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    std::size_t invalid = 0;
    std::size_t from = 0;
    for (InvalidRun run = nextInvalid(text, 0); run.length > 0; run = nextInvalid(text, from)) {
        out.append(text.data() + from, run.at - from);
        out += kReplacement;
        invalid += run.length;
        from = run.at + run.length;
    }
    out.append(text.data() + from, text.size() - from);
    return invalid;
}

void appendCodePoint(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            out += kReplacement;
            return;
        }
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x110000) {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out += kReplacement;
    }
}

namespace {

template <typename UnitAt>
std::size_t appendUnits(std::size_t count, UnitAt unitAt, std::string& out) {
    std::size_t invalidUnits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const char32_t next = unitAt(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                appendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), out);
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            out += kReplacement;
            ++invalidUnits;
        } else {
            appendCodePoint(unit, out);
        }
    }
    return invalidUnits;
}

}  // namespace

std::size_t appendUtf16AsUtf8(std::string_view bytes, ByteOrder order, std::string& out) {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[i])); };
    const auto unitAt = [&](std::size_t i) {
        return order == ByteOrder::Little ? (byte(2 * i) | (byte(2 * i + 1) << 8))
                                          : ((byte(2 * i) << 8) | byte(2 * i + 1));
    };
    out.reserve(out.size() + bytes.size() * 3 / 2);
    std::size_t invalid = 2 * appendUnits(bytes.size() / 2, unitAt, out);
    if (bytes.size() % 2 != 0) {
        out += kReplacement;
        ++invalid;
    }
    return invalid;
}

std::size_t appendUtf16AsUtf8(const std::u16string& units, std::string& out) {
    out.reserve(out.size() + units.size() * 3 / 2);
    return 2 * appendUnits(
                   units.size(), [&](std::size_t i) { return static_cast<char32_t>(units[i]); }, out);
}

}  // namespace platform
