// Big inputs, natively and optimised: a 200 MB text through the program's step and our
// converter, an EPUB of 5,000 spine documents, and one with a 48 MB image. Each step runs in
// a child process of its own, so its peak memory is its own. Prints the figures and exits 1
// when a target is missed.
#include "convert/file_converter.h"
#include "tests/support/books.h"
#include "tests/support/files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>

using namespace test_support;

namespace {

int missed = 0;

void expect(bool met, const char* target) {
    if (met) return;
    std::printf("  MISSED: %s\n", target);
    ++missed;
}

struct Step {
    int exitCode = -1;
    double seconds = 0;
    double peakMb = 0;
};

Step inChild(const std::function<int()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work());
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            static_cast<double>(usage.ru_maxrss) / 1024.0};
}

Step convert(const std::string& source) {
    return inChild([&] {
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execl(MOBIGEN_EXE, MOBIGEN_EXE, source.c_str(), "-c2", static_cast<char*>(nullptr));
        return 127;
    });
}

// The book as libmobi reads it back; "" when it cannot, nothing when mobitool is missing.
std::optional<std::string> readBack(const TempFolder& temp, const std::string& name) {
    if (!haveMobitool()) return std::nullopt;
    if (runCommand("mobitool -d -o '" + temp.path() + "' '" + temp / (name + ".mobi") + "'", "/dev/null") != 0)
        return std::string();
    return readFile(temp / (name + ".rawml"));
}

class QuietConverter : public FileConverter {
protected:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
};

// English-like prose, ASCII so that 200 MB still fits the 65,535 text records of a MOBI file.
bool writeProse(const std::string& path, std::size_t bytes) {
    static const char* const words[] = {"the", "whale", "sea", "captain", "and", "of", "ship", "harpoon", "deck"};
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::mt19937 random(7);
    std::string line;
    for (std::size_t written = 0, chapter = 1; file && written < bytes; written += line.size(), ++chapter) {
        line = "Chapter " + std::to_string(chapter) + "\r\n";
        for (int paragraph = 0; paragraph < 40; ++paragraph) {
            for (std::size_t length = 40 + random() % 560; length > 0; length -= std::min<std::size_t>(length, 8)) {
                line += words[random() % 9];
                line += ' ';
            }
            line += ".\r\n";
        }
        std::fwrite(line.data(), 1, line.size(), file);
    }
    return file && std::fclose(file) == 0;
}

std::string bmp(std::uint32_t side) {
    const std::uint32_t pixels = side * side * 3;
    std::string image = "BM";
    for (const std::uint32_t value :
         {54 + pixels, 0u, 54u, 40u, side, side, 0x180001u, 0u, pixels, 2835u, 2835u, 0u, 0u}) {
        for (int i = 0; i < 4; ++i) image += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    image.reserve(image.size() + pixels);
    for (std::uint32_t y = 0; y < side; ++y)
        for (std::uint32_t x = 0; x < side; ++x)
            image += {static_cast<char>(x / 16), static_cast<char>(y / 16), static_cast<char>(x ^ y)};
    return image;
}

void twoHundredMegabyteText() {
    TempFolder temp;
    if (!writeProse(temp / "big.txt", 200u * 1000 * 1000)) return expect(false, "write the 200 MB text");
    const double inputMb = static_cast<double>(std::filesystem::file_size(temp / "big.txt")) / (1024.0 * 1024.0);

    const Step page =
        inChild([&] { return QuietConverter().writeHtmlFromText(temp / "big.txt", temp / "big.htm") ? 0 : 1; });
    const Step book = convert(temp / "big.htm");
    std::printf(
        "200 MB text (%.1f MiB): text to HTML %.1f s, peak %.0f MB (%.2f x input); converter %.1f s, "
        "peak %.0f MB (%.2f x input)\n",
        inputMb, page.seconds, page.peakMb, page.peakMb / inputMb, book.seconds, book.peakMb, book.peakMb / inputMb);
    expect(page.exitCode == 0, "the text becomes a page");
    expect(book.exitCode <= 1, "the page becomes a book");
    const std::string written = readFile(temp / "big.mobi");
    expect(written.size() > 68 && written.compare(60, 8, "BOOKMOBI") == 0, "the book is a MOBI file");
    expect(page.peakMb <= 3 * inputMb, "text to HTML peaks at 3 x input or less");
    expect(book.peakMb <= 8 * inputMb, "the converter peaks at 8 x input or less");
}

void epubWithFiveThousandSpineDocuments() {
    std::string manifest, spine, navPoints;
    std::vector<ZipEntrySpec> files;
    for (int i = 1; i <= 5000; ++i) {
        const std::string n = std::to_string(i), name = "d" + n + ".xhtml";
        manifest += "<item id=\"d" + n + "\" href=\"" + name + "\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"d" + n + "\"/>";
        navPoints += "<navPoint id=\"n" + n + "\"><navLabel><text>Part " + n + "</text></navLabel><content src=\"" +
                     name + "\"/></navPoint>";
        files.push_back({name, makeXhtml("<h2>Part " + n + "</h2><p>Text of part " + n + ".</p>"), true, {}});
    }
    manifest += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
    files.push_back({"toc.ncx",
                     "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><navMap>" + navPoints + "</navMap></ncx>",
                     true,
                     {}});
    TempFolder temp;
    expect(writeFile(temp / "parts.epub",
                     buildEpub(makeOpf("<dc:title>Parts</dc:title>", manifest, spine, " toc=\"ncx\""), files)),
           "write the EPUB");

    const Step book = convert(temp / "parts.epub");
    std::printf("EPUB of 5,000 spine documents: exit %d, %.2f s, peak %.0f MB\n", book.exitCode, book.seconds,
                book.peakMb);
    expect(book.exitCode <= 1, "the EPUB becomes a book");
    if (const auto text = readBack(temp, "parts")) {
        expect(text->find("Text of part 1.") != std::string::npos, "the first document is in the book");
        expect(text->find("Text of part 5000.") != std::string::npos, "the last document is in the book");
    }
}

void epubWithAFiftyMegabyteImage() {
    const std::string picture = bmp(4096);  // 48 MiB of pixels
    TempFolder temp;
    expect(writeFile(temp / "picture.epub",
                     buildEpub(makeOpf("<dc:title>Picture</dc:title>",
                                       "<item id=\"p\" href=\"p.xhtml\" media-type=\"application/xhtml+xml\"/>"
                                       "<item id=\"i\" href=\"big.bmp\" media-type=\"image/bmp\"/>",
                                       "<itemref idref=\"p\"/>"),
                               {{"p.xhtml", makeXhtml("<p>Look:</p><img src=\"big.bmp\"/>"), true, {}},
                                {"big.bmp", picture, false, {}}})),
           "write the EPUB");

    const Step book = convert(temp / "picture.epub");
    const std::size_t size = readFile(temp / "picture.mobi").size();
    std::printf("EPUB with a %.0f MB image: exit %d, %.2f s, peak %.0f MB, book %zu bytes\n",
                static_cast<double>(picture.size()) / (1024.0 * 1024.0), book.exitCode, book.seconds, book.peakMb,
                size);
    expect(book.exitCode <= 1, "the EPUB becomes a book");
    expect(size > 0, "the book is written");
    expect(size < 4u * 1024 * 1024, "the picture was fitted for a reader, not copied");
}

}  // namespace

int main() {
    twoHundredMegabyteText();
    epubWithFiveThousandSpineDocuments();
    epubWithAFiftyMegabyteImage();
    std::printf(missed ? "load: %d target(s) missed\n" : "load: every target met\n", missed);
    return missed ? 1 : 0;
}
