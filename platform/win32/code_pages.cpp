#include "platform/code_pages.h"

#include "platform/utf8.h"

#include <windows.h>

namespace platform {
namespace {

constexpr std::size_t kChunkTarget = 64 * 1024;

// None of these bytes is a lead or trail byte in any code page we decode, so cutting right
// after one never splits a character.
bool isSafeCut(char c) { return c == '\n' || c == '<' || c == '>'; }

std::size_t nextChunkEnd(std::string_view bytes, std::size_t start) {
    if (bytes.size() - start <= kChunkTarget) return bytes.size();
    for (std::size_t i = start + kChunkTarget; i < bytes.size(); ++i)
        if (isSafeCut(bytes[i])) return i + 1;
    return bytes.size();
}

class CharacterSplitter {
public:
    explicit CharacterSplitter(unsigned codePage) : codePage_(codePage) {
        CPINFO info{};
        doubleByte_ = GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
    }

    // Length of the character starting at `at`, as its lead byte announces it.
    std::size_t lengthAt(std::string_view s, std::size_t at) const {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
        const unsigned char lead = byte(at);
        if (lead < 0x80) return 1;
        if (codePage_ == kCodePageGb18030) {
            if (at + 3 < s.size() && byte(at + 1) >= 0x30 && byte(at + 1) <= 0x39) return 4;
            return at + 1 < s.size() ? 2 : 1;
        }
        if (doubleByte_ && IsDBCSLeadByteEx(codePage_, lead) && at + 1 < s.size()) return 2;
        return 1;
    }

private:
    unsigned codePage_;
    bool doubleByte_ = false;
};

bool tryDecode(unsigned codePage, std::string_view bytes, std::u16string& out) {
    if (bytes.empty()) return true;
    const int inLength = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), inLength, nullptr, 0);
    if (needed <= 0) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed));
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), inLength, reinterpret_cast<wchar_t*>(&out[start]),
                        needed);
    return true;
}

// The slow road, only for a chunk that holds an invalid sequence: one character at a time.
std::size_t decodeCharacterByCharacter(unsigned codePage, std::string_view chunk, std::u16string& out) {
    const CharacterSplitter splitter(codePage);
    std::size_t invalid = 0;
    std::size_t i = 0;
    while (i < chunk.size()) {
        const std::size_t length = splitter.lengthAt(chunk, i);
        if (tryDecode(codePage, chunk.substr(i, length), out)) {
            i += length;
        } else {
            // Only the lead byte is lost; what follows may start a good character.
            out.push_back(char16_t{0xFFFD});
            ++invalid;
            ++i;
        }
    }
    return invalid;
}

bool canDecode(unsigned codePage) {
    wchar_t probe[2];
    return IsValidCodePage(codePage) && MultiByteToWideChar(codePage, 0, "a", 1, probe, 2) == 1;
}

// Some systems (Wine among them) lack GB18030; GBK is its two-byte core, so only the rare
// four-byte characters are lost, and counted.
unsigned usableCodePage(unsigned codePage) {
    if (codePage == kCodePageGb18030 && !canDecode(codePage)) return 936;
    return codePage;
}

std::string wideToCodePage(const std::wstring& wide, unsigned codePage) {
    if (wide.empty()) return {};
    const int inLength = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(codePage, 0, wide.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), inLength, &out[0], needed, nullptr, nullptr);
    return out;
}

std::wstring utf8ToWide(std::string_view text) {
    Decoded repaired;
    appendRepairedUtf8(text, repaired.utf8);
    if (repaired.utf8.empty()) return {};
    const int inLength = static_cast<int>(repaired.utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, repaired.utf8.data(), inLength, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, repaired.utf8.data(), inLength, &wide[0], needed);
    return wide;
}

}  // namespace

std::optional<Decoded> decodeCodePage(std::string_view bytes, unsigned codePage) {
    Decoded result;
    if (codePage == kCodePageUtf8) {
        result.invalidBytes = appendRepairedUtf8(bytes, result.utf8);
        return result;
    }
    codePage = usableCodePage(codePage);
    if (!canDecode(codePage)) return std::nullopt;
    std::u16string wide;
    wide.reserve(bytes.size());
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = nextChunkEnd(bytes, start);
        const std::string_view chunk = bytes.substr(start, end - start);
        if (!tryDecode(codePage, chunk, wide)) result.invalidBytes += decodeCharacterByCharacter(codePage, chunk, wide);
        start = end;
    }
    appendUtf16AsUtf8(wide, result.utf8);
    return result;
}

unsigned fallbackCodePage() { return GetACP(); }

std::string fileNameToUtf8(std::string_view name) {
    std::optional<Decoded> decoded = decodeCodePage(name, GetACP());
    return decoded ? decoded->utf8 : std::string(name);
}

std::string utf8ToFileName(std::string_view name) { return wideToCodePage(utf8ToWide(name), GetACP()); }

std::string utf8ToConsole(std::string_view text) { return wideToCodePage(utf8ToWide(text), GetACP()); }

}  // namespace platform
