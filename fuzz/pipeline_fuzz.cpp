// The whole converter on a book held in memory. The first byte picks the input: 'P' an EPUB as
// it is (a zip starts so), 'E' an EPUB packed here from a list of files, 'T' a text file turned
// into the program's page (no line of it may be lost), anything else HTML. The converter either
// refuses with a ConversionError or writes a joint file whose record list is sound: its MOBI 6
// text records give back the book's flow, BOUNDARY sits where EXTH 121 says, and the KF8
// part's record 0 (version 8) has text records that give back UTF-8 flows as long as its FDST
// says.

#include "fuzz/fuzz_support.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/kf8/writer.h"
#include "mobigen/outline/chapters.h"
#include "mobigen/outline/text_page.h"
#include "mobigen/text/encoding.h"
#include "tests/support/books.h"
#include "tests/support/checks.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

using namespace mobigen;

constexpr std::size_t kPalmDbHeader = 78;

// Strict UTF-8, checked by decoding each sequence (unlike the converter's table of lead and
// second-byte ranges): no overlong forms, no surrogates, nothing above U+10FFFF.
bool isStrictUtf8(std::string_view text) {
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const unsigned lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
        if (length == 0 || text.size() - i < length) return false;
        char32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned next = static_cast<unsigned char>(text[i + k]);
            if (next >> 6 != 2) return false;
            value = value << 6 | (next & 0x3Fu);
        }
        if (value < kSmallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

// A list of files, each "name\n" then the content, separated by kFileSeparator, as a zip of
// stored entries with right checksums: the way the fuzz inputs reach the EPUB reader.
constexpr std::string_view kFileSeparator = "\x01--\x01";
std::string zipOfFileList(std::string_view list) {
    std::vector<test_support::ZipEntrySpec> entries;
    for (std::size_t start = 0; start < list.size() && entries.size() < 0xFFFF;) {
        std::size_t end = list.find(kFileSeparator, start);
        if (end == std::string_view::npos) end = list.size();
        const std::string_view file = list.substr(start, end - start);
        const std::size_t newline = file.find('\n');
        const std::string_view name = file.substr(0, std::min(newline, std::size_t{0xFFFF}));
        const std::string_view content =
            newline == std::string_view::npos ? std::string_view() : file.substr(newline + 1);
        entries.push_back({std::string(name), std::string(content), false, {}});
        start = end + kFileSeparator.size();
    }
    return test_support::buildZip(entries);
}

std::vector<std::size_t> recordOffsets(std::string_view file) {
    fuzz::check(file.size() >= kPalmDbHeader + 2, "shorter than a PalmDB header");
    fuzz::check(file.substr(60, 8) == "BOOKMOBI", "not BOOKMOBI");
    const std::size_t count = test_support::be16(file, 76);
    const std::size_t listEnd = kPalmDbHeader + 8 * count + 2;
    fuzz::check(count > 0 && listEnd <= file.size(), "the record list does not fit");
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t offset = test_support::be32(file, kPalmDbHeader + 8 * i);
        fuzz::check(offset >= (offsets.empty() ? listEnd : offsets.back() + 1), "record offsets do not increase");
        offsets.push_back(offset);
    }
    fuzz::check(offsets.back() < file.size(), "the last record starts past the end");
    offsets.push_back(file.size());
    return offsets;
}

// Each text record ends in the tail of a character cut at its end, then that tail's length.
std::string_view withoutTrailer(std::string_view record) {
    fuzz::check(!record.empty(), "an empty text record");
    const std::size_t trailer = (static_cast<unsigned char>(record.back()) & 3u) + 1;
    fuzz::check(trailer <= record.size(), "a trailer longer than its record");
    return record.substr(0, record.size() - trailer);
}

std::string_view recordAt(std::string_view file, const std::vector<std::size_t>& offsets, std::size_t n) {
    fuzz::check(n + 1 < offsets.size(), "a record number past the record list");
    return file.substr(offsets[n], offsets[n + 1] - offsets[n]);
}

// The text of the part whose record 0 is record `first`, decompressed.
std::string partText(std::string_view file, const std::vector<std::size_t>& offsets, std::size_t first,
                     Compression compression) {
    const std::string_view record0 = recordAt(file, offsets, first);
    fuzz::check(record0.size() >= 20 && record0.substr(16, 4) == "MOBI", "record 0 has no MOBI header");
    fuzz::check(test_support::be16(record0, 0) == (compression == Compression::PalmDoc ? 2u : 1u), "wrong compression");
    const std::size_t textRecords = test_support::be16(record0, 8);
    std::string text;
    for (std::size_t i = first + 1; i <= first + textRecords; ++i) {
        const std::string_view stored = withoutTrailer(recordAt(file, offsets, i));
        if (compression == Compression::None) {
            text.append(stored);
            continue;
        }
        const std::optional<std::string> unpacked = test_support::decodePalmDoc(stored);
        if (!unpacked || unpacked->size() > 4096) fuzz::fail("text record " + std::to_string(i) + " is damaged");
        text += *unpacked;
    }
    fuzz::check(test_support::be32(record0, 4) == text.size(), "the text length differs from the text records");
    return text;
}

std::optional<std::uint32_t> exthNumber(std::string_view record0, std::uint32_t type) {
    fuzz::check(record0.size() >= 24, "record 0 has no header length");
    const std::size_t exth = 16 + test_support::be32(record0, 20);
    fuzz::check(exth + 12 <= record0.size() && record0.substr(exth, 4) == "EXTH", "no EXTH after the MOBI header");
    std::size_t at = exth + 12;
    for (std::uint32_t n = test_support::be32(record0, exth + 8); n > 0; --n) {
        fuzz::check(at + 8 <= record0.size(), "an EXTH record past record 0");
        const std::uint32_t size = test_support::be32(record0, at + 4);
        fuzz::check(size >= 8 && at + size <= record0.size(), "an EXTH record of a bad size");
        if (test_support::be32(record0, at) == type && size == 12) return test_support::be32(record0, at + 8);
        at += size;
    }
    return std::nullopt;
}

void checkKf8Part(std::string_view file, const std::vector<std::size_t>& offsets, Compression compression) {
    const std::optional<std::uint32_t> kf8 = exthNumber(recordAt(file, offsets, 0), 121);
    fuzz::check(kf8 && *kf8 >= 1, "no EXTH 121 in the MOBI 6 record 0");
    fuzz::check(recordAt(file, offsets, *kf8 - 1) == "BOUNDARY", "EXTH 121 does not follow BOUNDARY");
    const std::string_view record0 = recordAt(file, offsets, *kf8);
    fuzz::check(record0.size() >= 264 && test_support::be32(record0, 20) >= 248, "a short KF8 header");
    fuzz::check(test_support::be32(record0, 36) == 8 && test_support::be32(record0, 104) == 8,
                "KF8 record 0 is not version 8");
    const std::string text = partText(file, offsets, *kf8, compression);
    fuzz::check(isStrictUtf8(text), "the KF8 text is not UTF-8");
    const std::string_view fdst = recordAt(file, offsets, *kf8 + test_support::be32(record0, 192));
    const std::uint32_t flows = test_support::be32(record0, 196);
    fuzz::check(fdst.size() >= 12 + 8 * std::size_t{flows} && fdst.substr(0, 4) == "FDST" &&
                    test_support::be32(fdst, 8) == flows,
                "the FDST does not list the flows");
    fuzz::check(flows > 0 && test_support::be32(fdst, 12 + 8 * flows - 4) == text.size(),
                "the flows do not end the text");
}

std::string decodedDocument(const std::string& bytes, Diagnostics& diagnostics) {
    std::string html = decodeHtmlToUtf8(bytes, diagnostics);
    fuzz::check(isStrictUtf8(html), "the decoded document is not UTF-8");
    return html;
}

std::string_view bodyOf(std::string_view page) {
    constexpr std::string_view kBodyStart = "<body>";
    const std::size_t start = page.find(kBodyStart) + kBodyStart.size();
    return page.substr(start, page.rfind("</body>") - start);
}

// The characters a reader sees: markup and spaces (ideographic ones too) go, as a heading run
// into its first sentence is split there into a heading and a paragraph.
std::string visibleText(std::string_view markup) {
    std::string out;
    for (std::size_t i = 0; i < markup.size(); ++i) {
        if (markup[i] == '<') {
            const std::size_t close = markup.find('>', i);
            if (close == std::string_view::npos) break;
            i = close;
        } else if (markup.substr(i, 3) == "\xE3\x80\x80") {  // the ideographic space
            i += 2;
        } else if (std::string_view(" \t\r\n\f").find(markup[i]) == std::string_view::npos) {
            out += markup[i];
        }
    }
    return out;
}

// Every line of the text shows up in the flow, in order; lines with characters that escaping
// changes are not looked up. Whatever the encoding, the page's markup must survive decoding.
void checkLinesKept(const std::string& page, const std::string& html, const std::string& flowMarkup) {
    const std::string flow = visibleText(flowMarkup);
    std::string text(bodyOf(page));
    for (std::size_t at = text.find("<br>"); at != std::string::npos; at = text.find("<br>", at)) text.erase(at, 4);
    if (text.find_first_of("<>") == std::string::npos)
        fuzz::check(matchTextDerivedHtml(html).has_value(), "the page made from a text file is not taken for one");
    if (!matchTextDerivedHtml(html)) return;
    const std::string_view body = bodyOf(html);
    std::size_t found = 0;
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = body.find("<br>", start);
        const std::string_view line = body.substr(start, end - start);
        start = end + 4;
        if (line.find_first_of("<>&\"'") != std::string_view::npos) continue;
        const std::string seen = visibleText(line);
        found = flow.find(seen, found);
        if (found == std::string::npos) fuzz::fail("a line of the text is missing from the flow");
        found += seen.size();
    }
}

Book readBook(std::string_view bytes, Diagnostics& diagnostics) {
    const char kind = bytes.empty() ? '\0' : bytes[0];
    if (kind == 'P') return readEpubBook(bytes, "Fuzz", diagnostics);
    if (kind == 'E') return readEpubBook(zipOfFileList(bytes.substr(1)), "Fuzz", diagnostics);
    if (kind != 'T') return readHtmlBook(decodedDocument(std::string(bytes), diagnostics), "Fuzz", diagnostics);
    const std::string page = test_support::textModePage(bytes.substr(1));
    const std::string html = decodedDocument(page, diagnostics);
    Book book = readHtmlBook(html, "Fuzz", diagnostics);
    checkLinesKept(page, html, book.flow);
    return book;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);
    const Compression compression = size % 2 ? Compression::None : Compression::PalmDoc;
    try {
        Diagnostics diagnostics;
        const Book book = readBook(bytes, diagnostics);
        fuzz::check(!book.metadata.title.empty(), "a book without a title");
        fuzz::check(isStrictUtf8(book.flow), "the flow is not UTF-8");
        fuzz::check(hasKf8Part(book), "a book without a KF8 part");
        const std::string file = writeBook(book, compression, OutputKind::Joint, diagnostics);
        const std::vector<std::size_t> offsets = recordOffsets(file);
        if (partText(file, offsets, 0, compression) != book.flow)
            fuzz::fail("the text records do not give back the flow");
        checkKf8Part(file, offsets, compression);
    } catch (const ConversionError& error) {
        fuzz::check(!error.message.empty(), "a refusal without a message");
    }
    return 0;
}
