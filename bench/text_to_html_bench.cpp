// Benchmark of the text-to-HTML step: a generated GBK novel of the given size (100 MB by
// default) is turned into the intermediate page, and in the same run the same file is copied
// with a plain read-and-write loop. Each runs in a child process, so the peak memory reported
// is that step's own.
#include "convert/file_converter.h"
#include "platform/files.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

class QuietConverter : public FileConverter {
protected:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// Paragraphs of 20 to 400 GBK characters with a chapter heading now and then, CR LF ends.
std::string generateNovel(std::size_t bytes) {
    std::mt19937 random(42);
    std::string text;
    text.reserve(bytes + 1024);
    int chapter = 0;
    while (text.size() < bytes) {
        if (random() % 60 == 0) text += "\xB5\xDA" + std::to_string(++chapter) + "\xD5\xC2 \xBF\xAA\xB6\xCB\r\n";
        const std::size_t characters = 20 + random() % 380;
        for (std::size_t i = 0; i < characters; ++i) {
            if (random() % 25 == 0) {
                text += "\xA3\xAC";  // full-width comma
                continue;
            }
            text += static_cast<char>(0xB0 + random() % 0x38);
            text += static_cast<char>(0xA1 + random() % 0x5E);
        }
        text += "\xA1\xA3\r\n";
    }
    return text;
}

bool copyFile(const std::string& from, const std::string& to) {
    platform::InputFile input;
    platform::OutputFile output;
    if (!input.open(from) || !output.create(to)) return false;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const long long got = input.read(buffer.data(), buffer.size());
        if (got < 0) return false;
        if (got == 0) break;
        if (!output.write(buffer.data(), static_cast<std::size_t>(got))) return false;
    }
    return output.close();
}

struct Measured {
    double seconds = 0;
    double peakKb = 0;
    bool ok = false;
};

struct Summary {
    double best = 0;
    double median = 0;
    double peakKb = 0;
};

Summary summarise(std::vector<Measured> runs) {
    std::sort(runs.begin(), runs.end(), [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
    Summary summary{runs.front().seconds, runs[runs.size() / 2].seconds, 0};
    for (const Measured& run : runs) summary.peakKb = std::max(summary.peakKb, run.peakKb);
    return summary;
}

template <typename Step>
Measured inChild(Step step) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(step() ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Measured measured;
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.peakKb = static_cast<double>(usage.ru_maxrss);
    measured.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    const std::string source = folder + "/tw-bench-novel.txt";
    const std::string page = folder + "/tw-bench-novel.htm";
    const std::string copy = folder + "/tw-bench-copy.txt";

    double inputMb = 0;
    {
        // Released before the children fork, so their peaks are their own.
        const std::string novel = generateNovel(megabytes * 1000 * 1000);
        platform::OutputFile out;
        if (!out.create(source) || !out.write(novel.data(), novel.size()) || !out.close()) return 2;
        inputMb = static_cast<double>(novel.size()) / 1e6;
    }

    // Each step runs several times; page faults on fresh memory make single runs noisy on a
    // virtual machine, so the best and the median are both shown.
    constexpr int kRuns = 5;
    std::vector<Measured> copies, conversions;
    for (int run = 0; run < kRuns; ++run) {
        copies.push_back(inChild([&] { return copyFile(source, copy); }));
        conversions.push_back(inChild([&] { return QuietConverter().writeHtmlFromText(source, page); }));
        std::remove(copy.c_str());
        std::remove(page.c_str());
    }
    std::remove(source.c_str());
    for (const auto& runs : {copies, conversions}) {
        for (const Measured& measured : runs) {
            if (!measured.ok) {
                std::printf("a step failed\n");
                return 1;
            }
        }
    }
    const Summary copied = summarise(copies), converted = summarise(conversions);

    std::printf("input                 %.1f MB of GBK text, %d runs of each step\n", inputMb, kRuns);
    std::printf("plain copy            best %.3f s (%.0f MB/s), median %.3f s, peak %.1f MB\n", copied.best,
                inputMb / copied.best, copied.median, copied.peakKb / 1024.0);
    std::printf("text to HTML          best %.3f s (%.0f MB/s), median %.3f s, peak %.1f MB\n", converted.best,
                inputMb / converted.best, converted.median, converted.peakKb / 1024.0);
    std::printf("throughput vs copy    best %.2f, median %.2f (target >= 0.25)\n", copied.best / converted.best,
                copied.median / converted.median);
    std::printf("peak memory / input   %.2f (target <= 3)\n", converted.peakKb / 1024.0 / inputMb * 1.048576);
    return 0;
}
