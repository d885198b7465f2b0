// The readers of an EPUB's small XML files (container, package, NCX, nav) on any text. Each
// either reads it or refuses it with a ConversionError.

#include "fuzz/fuzz_support.h"
#include "mobigen/book.h"
#include "mobigen/source/epub_toc.h"
#include "mobigen/source/opf.h"
#include "mobigen/source/xml.h"

namespace {

using namespace mobigen;

template <typename Read>
void readOrRefuse(Read read) {
    try {
        read();
    } catch (const ConversionError& error) {
        fuzz::check(!error.message.empty(), "a refusal without a message");
    }
}

void checkIsbn(std::string_view text, bool declared) {
    const std::string isbn = isbnFromIdentifier(text, declared);
    if (isbn.empty()) return;
    fuzz::check(isbn.size() == 10 || isbn.size() == 13, "an ISBN of the wrong length");
    const std::size_t digits = isbn.size() == 10 ? 9 : 13;
    fuzz::check(isbn.find_first_not_of("0123456789") >= digits, "an ISBN with a stray character");
}

void checkPackage(const Package& package) {
    for (const auto& entry : package.manifest)
        fuzz::check(entry.first == entry.second.id, "a manifest item under another id");
}

void checkToc(const std::vector<EpubTocEntry>& toc) {
    for (const EpubTocEntry& entry : toc) fuzz::check(entry.depth >= 0, "a TOC entry with a negative depth");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::bytesOf(data, size);
    readOrRefuse([&] { (void)findDescendant(parseXml(text, "fuzz.xml"), "rootfile"); });
    readOrRefuse([&] { fuzz::check(!packagePathFromContainer(text).empty(), "an empty package path"); });
    readOrRefuse([&] {
        Diagnostics diagnostics;
        checkPackage(parsePackage(text, "OEBPS/content.opf", diagnostics));
    });
    readOrRefuse([&] { checkToc(readNcxToc(text, "OEBPS/toc.ncx")); });
    readOrRefuse([&] { checkToc(readNavToc(text, "OEBPS/nav.xhtml")); });
    checkIsbn(text.substr(0, 64), size % 2 == 0);
    return 0;
}
