// One drop of a thousand files, through the real main dialog under Wine. Prints what a file
// costs the program beyond the converter's own run, and checks that memory does not grow
// with the batch.
#include "ui_support.h"

#include "platform/process.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using test_support::exists;
using ui_testing::operator+;
using ui_testing::Texts;

namespace {

constexpr int kFiles = 1000;
using Clock = std::chrono::steady_clock;

// Committed private memory. (Wine leaves PrivateUsage at 0; PagefileUsage is the same count.)
double privateMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / (1024.0 * 1024.0);
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class BatchLoad : public ui_testing::MainDialogTest {};

}  // namespace

TEST_F(BatchLoad, AThousandFilesInOneDrop) {
    Texts paths;
    for (int i = 0; i < kFiles; ++i) paths.push_back(addBook("book" + std::to_string(i) + (i % 2 ? ".epub" : ".txt")));

    // The converter's own cost, measured alone, so the program's share can be told apart.
    constexpr int kAlone = 50;
    const auto aloneStart = Clock::now();
    for (int i = 0; i < kAlone; ++i)
        platform::runAndWait(nullptr, layout.converter, "\"" + paths[1] + "\" -c2", layout.tools, 0);
    const double converterSeconds = secondsSince(aloneStart) / kAlone;
    ASSERT_TRUE(DeleteFileA(book("book1.mobi").c_str()));
    ASSERT_TRUE(DeleteFileA((layout.tools + "\\fake_converter.log").c_str()));

    // Memory early in the batch and at its last file, sampled while the batch runs.
    std::atomic<bool> done{false};
    double earlyMb = 0, lateMb = 0;
    std::thread sampler([&] {
        while (!done && lateMb == 0) {
            const Texts log = layout.converterLog();
            const auto runs = std::count_if(log.begin(), log.end(),
                                            [](const std::string& line) { return line.rfind("cwd=", 0) == 0; });
            if (earlyMb == 0 && runs >= 100) earlyMb = privateMegabytes();
            if (runs >= kFiles) lateMb = privateMegabytes();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    dialog.runLimitMs = 20 * 60 * 1000;
    const auto batchStart = Clock::now();
    dialog.run({ui_testing::dropFiles(paths)});
    const double batchSeconds = secondsSince(batchStart);
    done = true;
    sampler.join();

    EXPECT_FALSE(dialog.timedOut);
    EXPECT_EQ(watcher.texts(), Texts{});
    Texts expected;
    for (int i = 0; i < kFiles; ++i) {
        expected = expected + ui_testing::progressLines(paths[i], true);
        const std::string base = paths[i].substr(0, paths[i].rfind('.'));
        EXPECT_TRUE(exists(base + ".mobi")) << paths[i];
        EXPECT_FALSE(i % 2 == 0 && exists(base + ".htm")) << paths[i];
    }
    EXPECT_EQ(dialog.finalLines, expected);
    // The list's own lines account for a few hundred kilobytes; anything that grew per file
    // (a leaked handle, buffer or document) would show as megabytes.
    ASSERT_GT(earlyMb, 0);
    ASSERT_GT(lateMb, 0);
    EXPECT_LT(lateMb - earlyMb, 2.0);

    const double perFile = batchSeconds / kFiles;
    std::printf(
        "batch of %d files: %.1f s, %.1f ms per file; the converter alone %.1f ms; "
        "the program's share %.1f ms per file\n",
        kFiles, batchSeconds, perFile * 1000, converterSeconds * 1000, (perFile - converterSeconds) * 1000);
    std::printf("private memory after 100 files %.2f MB, after %d files %.2f MB (growth %.2f MB)\n", earlyMb, kFiles,
                lateMb, lateMb - earlyMb);
}
