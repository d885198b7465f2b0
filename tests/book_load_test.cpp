// Big inputs, natively and optimised: a 200 MB text through the program's step and our
// converter, an EPUB of 5,000 spine documents, and one with a 50 MB image. Each run prints
// its time and peak memory; the assertions hold the memory targets.
#include "convert/file_converter.h"
#include "convert/path_helpers.h"
#include "test_support.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::TempFolder;

namespace {

using Clock = std::chrono::steady_clock;

struct ConverterRun {
    int exitCode = -1;
    double seconds = 0;
    double peakMb = 0;
};

double megabytes(long kilobytes) { return static_cast<double>(kilobytes) / 1024.0; }

ConverterRun runConverter(const std::string& source) {
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execl(MOBIGEN_EXE, MOBIGEN_EXE, source.c_str(), "-c2", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    ConverterRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakMb = megabytes(usage.ru_maxrss);
    return run;
}

bool isMobi(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char header[68] = {};
    const bool read = std::fread(header, 1, sizeof header, file) == sizeof header;
    std::fclose(file);
    return read && std::string(header + 60, 8) == "BOOKMOBI";
}

// English-like prose in lines of 40 to 600 bytes with a chapter heading now and then; ASCII,
// so 200 MB still fits the 65,535 text records a MOBI file can hold.
bool writeProse(const std::string& path, std::size_t bytes) {
    static const char* const words[] = {"the", "whale", "sea", "captain", "and", "of", "ship", "a", "to", "in",
                                        "harpoon", "white", "deck", "was", "his", "storm", "said", "Ishmael"};
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::mt19937 random(7);
    std::string line;
    std::size_t written = 0;
    for (int chapter = 1; written < bytes; ++chapter) {
        line = "Chapter " + std::to_string(chapter) + "\r\n";
        for (int paragraph = 0; paragraph < 40; ++paragraph) {
            const std::size_t length = 40 + random() % 560;
            const std::size_t lineStart = line.rfind('\n') + 1;
            while (line.size() < lineStart + length) {
                line += words[random() % (sizeof words / sizeof *words)];
                line += ' ';
            }
            line += ".\r\n";
        }
        written += line.size();
        if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) break;
    }
    return std::fclose(file) == 0;
}

// The book's text as libmobi reads it back, or nothing when mobitool is not installed.
std::optional<std::string> textReadBack(const TempFolder& temp, const std::string& name) {
    if (std::system("command -v mobitool >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string command = "mobitool -d -o '" + temp.path() + "' '" + temp / (name + ".mobi") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return std::string();
    return testing_support::readFile(temp / (name + ".rawml")).value_or("");
}

class QuietConverter : public FileConverter {
protected:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
};

}  // namespace

TEST(BookLoad, TwoHundredMegabyteTextThroughTheProgramsStepAndTheConverter) {
    TempFolder temp;
    const std::string tools = temp / "Tools";
    ASSERT_TRUE(testing_support::makeFolder(tools));
    ASSERT_TRUE(testing_support::copyProgram(MOBIGEN_EXE, tools + "/kindlegen.exe"));
    const std::string text = temp / "big.txt";
    ASSERT_TRUE(writeProse(text, 200u * 1000 * 1000));
    const double inputMb = static_cast<double>(testing_support::readFile(text)->size()) / (1024.0 * 1024.0);

    // In a child of its own, so the peaks are this conversion's: the child's is the
    // text-to-HTML step, its child's the converter's.
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        QuietConverter converter;
        converter.programDirectory = temp.path();
        converter.converterPath = withTrailingBackslash(temp.path()) + "/Tools/kindlegen.exe";
        const long converted = converter.convertFile(text) ? 1 : 0;
        rusage self{}, children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        const long figures[3] = {converted, self.ru_maxrss, children.ru_maxrss};
        _exit(write(report[1], figures, sizeof figures) == sizeof figures ? 0 : 1);
    }
    long figures[3] = {};
    ASSERT_EQ(read(report[0], figures, sizeof figures), static_cast<ssize_t>(sizeof figures));
    waitpid(child, nullptr, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(report[0]);
    close(report[1]);

    EXPECT_EQ(figures[0], 1);
    EXPECT_TRUE(isMobi(temp / "big.mobi"));
    EXPECT_FALSE(testing_support::exists(temp / "big.htm"));
    const double stepPeak = megabytes(figures[1]), converterPeak = megabytes(figures[2]);
    std::printf("200 MB text: %.1f MB in, %.1f s in all; text-to-HTML peak %.0f MB (%.2f x input), "
                "converter peak %.0f MB (%.2f x input)\n",
                inputMb, seconds, stepPeak, stepPeak / inputMb, converterPeak, converterPeak / inputMb);
    EXPECT_LE(stepPeak, 3 * inputMb);
    EXPECT_LE(converterPeak, 8 * inputMb);
}

TEST(BookLoad, EpubWithFiveThousandSpineDocuments) {
    constexpr int kDocuments = 5000;
    std::string manifest, spine, navPoints;
    std::vector<readers_test::ZipEntrySpec> files;
    for (int i = 0; i < kDocuments; ++i) {
        const std::string id = "d" + std::to_string(i), name = id + ".xhtml";
        manifest += "<item id=\"" + id + "\" href=\"" + name + "\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"" + id + "\"/>";
        navPoints += "<navPoint id=\"n" + id + "\" playOrder=\"" + std::to_string(i + 1) + "\"><navLabel><text>Part " +
                     std::to_string(i + 1) + "</text></navLabel><content src=\"" + name + "\"/></navPoint>";
        files.push_back({name, readers_test::makeXhtml("<h2>Part " + std::to_string(i + 1) + "</h2><p>Text of part " +
                                                        std::to_string(i + 1) + ".</p>"),
                         true, {}});
    }
    manifest += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
    files.push_back({"toc.ncx", "<?xml version=\"1.0\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
                                "<navMap>" + navPoints + "</navMap></ncx>", true, {}});
    const std::string opf = readers_test::makeOpf("<dc:title>Many parts</dc:title><dc:language>en</dc:language>",
                                                  manifest, spine, " toc=\"ncx\"");
    TempFolder temp;
    ASSERT_TRUE(testing_support::writeFile(temp / "parts.epub", readers_test::buildEpub(opf, files)));

    const ConverterRun run = runConverter(temp / "parts.epub");
    std::printf("EPUB of %d spine documents: exit %d, %.2f s, peak %.0f MB\n", kDocuments, run.exitCode, run.seconds,
                run.peakMb);
    EXPECT_LE(run.exitCode, 1);
    EXPECT_TRUE(isMobi(temp / "parts.mobi"));
    if (const auto text = textReadBack(temp, "parts")) {
        EXPECT_NE(text->find("Text of part 1."), std::string::npos);
        EXPECT_NE(text->find("Text of part 5000."), std::string::npos);
    }
}

TEST(BookLoad, EpubWithAFiftyMegabyteImage) {
    // A 4096 x 4096 true-colour BMP: 48 MiB of pixels.
    constexpr std::uint32_t kSide = 4096, kPixelBytes = kSide * kSide * 3;
    std::string bmp = "BM";
    auto put32 = [&bmp](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bmp += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put32(54 + kPixelBytes), put32(0), put32(54), put32(40), put32(kSide), put32(kSide);
    bmp += std::string("\x01\x00\x18\x00", 4);
    put32(0), put32(kPixelBytes), put32(2835), put32(2835), put32(0), put32(0);
    bmp.reserve(bmp.size() + kPixelBytes);
    for (std::uint32_t y = 0; y < kSide; ++y)
        for (std::uint32_t x = 0; x < kSide; ++x) {
            bmp += static_cast<char>(x / 16), bmp += static_cast<char>(y / 16), bmp += static_cast<char>((x ^ y) & 0xFF);
        }

    const std::string opf = readers_test::makeOpf(
        "<dc:title>Big picture</dc:title><dc:language>en</dc:language>",
        "<item id=\"p\" href=\"p.xhtml\" media-type=\"application/xhtml+xml\"/>"
        "<item id=\"img\" href=\"big.bmp\" media-type=\"image/bmp\"/>",
        "<itemref idref=\"p\"/>");
    TempFolder temp;
    ASSERT_TRUE(testing_support::writeFile(
        temp / "picture.epub",
        readers_test::buildEpub(opf, {{"p.xhtml", readers_test::makeXhtml("<p>Look:</p><img src=\"big.bmp\"/>"), true, {}},
                                      {"big.bmp", bmp, false, {}}})));

    const ConverterRun run = runConverter(temp / "picture.epub");
    const auto book = testing_support::readFile(temp / "picture.mobi");
    std::printf("EPUB with a %.0f MB image: exit %d, %.2f s, peak %.0f MB, book %.2f MB\n",
                static_cast<double>(bmp.size()) / (1024.0 * 1024.0), run.exitCode, run.seconds, run.peakMb,
                book ? static_cast<double>(book->size()) / (1024.0 * 1024.0) : 0.0);
    EXPECT_LE(run.exitCode, 1);
    ASSERT_TRUE(book);
    EXPECT_LT(book->size(), 4u * 1024 * 1024);  // the picture was fitted for a reader, not copied
}
