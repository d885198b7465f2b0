// Stands in for the external converter in tests. It records how it was started in
// fake_converter.log in its working folder and behaves as fake_converter.cfg there says:
//   mode=write    copies the source to <source without extension>.mobi (the default), so a
//                 test can read back exactly what the converter was given
//   mode=none     writes nothing
//   mode=partial  writes half a .mobi and exits with a failure code
//   mode=crash    writes half a .mobi and aborts
//   delay_ms=N    waits that long first
#include "tests/support/files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

struct Behaviour {
    std::string mode = "write";
    long delayMs = 0;
};

Behaviour readBehaviour() {
    Behaviour behaviour;
    std::FILE* config = std::fopen("fake_converter.cfg", "r");
    if (!config) return behaviour;
    char line[256];
    while (std::fgets(line, sizeof line, config)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.rfind("mode=", 0) == 0) behaviour.mode = text.substr(5);
        if (text.rfind("delay_ms=", 0) == 0) behaviour.delayMs = std::atol(text.c_str() + 9);
    }
    std::fclose(config);
    return behaviour;
}

void record(int argc, char** argv) {
    std::FILE* log = std::fopen("fake_converter.log", "ab");
    if (!log) return;
    char folder[4096];
    std::fprintf(log, "cwd=%s\n", getcwd(folder, sizeof folder) ? folder : "?");
    for (int i = 1; i < argc; ++i) std::fprintf(log, "arg=%s\n", argv[i]);
    std::fclose(log);
}

std::string outputFor(const std::string& source) {
    const auto dot = source.rfind('.');
    return (dot == std::string::npos ? source : source.substr(0, dot)) + ".mobi";
}

}  // namespace

int main(int argc, char** argv) {
    record(argc, argv);
    const Behaviour behaviour = readBehaviour();
    if (behaviour.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.delayMs));
    if (argc < 2) return 2;
    if (behaviour.mode == "crash") std::abort();
    if (behaviour.mode == "none") return 2;
    const std::string source = test_support::readFile(argv[1]);
    if (behaviour.mode == "partial") {
        test_support::writeFile(outputFor(argv[1]), source.substr(0, source.size() / 2));
        return 2;
    }
    return test_support::writeFile(outputFor(argv[1]), source) ? 0 : 2;
}
