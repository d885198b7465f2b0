// The whole converter on a book held in memory. The first byte picks the input: 'P' an EPUB as
// it is (a zip starts so), 'E' an EPUB packed here from a list of files, 'T' a text file turned
// into the program's page (no line of it may be lost), anything else HTML. The converter either
// refuses with a ConversionError or writes a MOBI file whose record list is sound and whose
// text records give back the book's flow, which is UTF-8 as record 0 declares.

#include "fuzz/fuzz_support.h"
#include "mobigen/flow/chapters.h"
#include "mobigen/flow/text_page.h"
#include "mobigen/mobi/writer.h"
#include "mobigen/read/book_readers.h"
#include "mobigen/text/encoding.h"
#include "tests/support/books.h"
#include "tests/support/checks.h"

#include <vector>

namespace {

using namespace mobigen;

constexpr std::size_t kPalmDbHeader = 78;

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

void checkText(std::string_view file, const std::vector<std::size_t>& offsets, const Book& book,
               Compression compression) {
    const std::string_view record0 = file.substr(offsets[0], offsets[1] - offsets[0]);
    fuzz::check(record0.size() >= 20 && record0.substr(16, 4) == "MOBI", "record 0 has no MOBI header");
    fuzz::check(test_support::be16(record0, 0) == (compression == Compression::PalmDoc ? 2u : 1u), "wrong compression");
    fuzz::check(test_support::be32(record0, 4) == book.flow.size(), "the text length differs from the flow");
    const std::size_t textRecords = test_support::be16(record0, 8);
    fuzz::check(textRecords + 1 < offsets.size(), "more text records than records");
    std::string text;
    for (std::size_t i = 1; i <= textRecords; ++i) {
        const std::string_view stored = withoutTrailer(file.substr(offsets[i], offsets[i + 1] - offsets[i]));
        if (compression == Compression::None) {
            text.append(stored);
            continue;
        }
        const std::optional<std::string> unpacked = test_support::decodePalmDoc(stored);
        if (!unpacked || unpacked->size() > 4096) fuzz::fail("text record " + std::to_string(i) + " is damaged");
        text += *unpacked;
    }
    if (text != book.flow) fuzz::fail("the text records do not give back the flow");
}

std::string decodedDocument(const std::string& bytes, Diagnostics& diagnostics) {
    std::string html = decodeHtmlToUtf8(bytes, diagnostics);
    fuzz::check(test_support::isStrictUtf8(html), "the decoded document is not UTF-8");
    return html;
}

std::string_view bodyOf(std::string_view page) {
    constexpr std::string_view kBodyStart = "<body>";
    const std::size_t start = page.find(kBodyStart) + kBodyStart.size();
    return page.substr(start, page.rfind("</body>") - start);
}

// Every line of the text shows up in the flow, in order; lines with characters that escaping
// changes are not looked up. Whatever the encoding, the page's markup must survive decoding.
void checkLinesKept(const std::string& page, const std::string& html, const std::string& flow) {
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
        found = flow.find(line, found);
        if (found == std::string::npos) fuzz::fail("a line of the text is missing from the flow");
        found += line.size();
    }
}

Book readBook(std::string_view bytes, Diagnostics& diagnostics) {
    const char kind = bytes.empty() ? '\0' : bytes[0];
    if (kind == 'P') return readEpubBook(bytes, "Fuzz", diagnostics);
    if (kind == 'E') return readEpubBook(test_support::zipOfFileList(bytes.substr(1)), "Fuzz", diagnostics);
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
        fuzz::check(test_support::isStrictUtf8(book.flow), "the flow is not UTF-8");
        const std::string file = writeMobi(book, compression);
        checkText(file, recordOffsets(file), book, compression);
    } catch (const ConversionError& error) {
        fuzz::check(!error.message.empty(), "a refusal without a message");
    }
    return 0;
}
