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

// The value of `key=` in the config, or `otherwise`.
std::string setting(const std::string& config, const std::string& key, const std::string& otherwise) {
    const std::size_t at = config.find(key + "=");
    if (at == std::string::npos) return otherwise;
    const std::size_t start = at + key.size() + 1;
    return config.substr(start, config.find_first_of("\r\n", start) - start);
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
    const std::string config = test_support::readFile("fake_converter.cfg");
    const std::string mode = setting(config, "mode", "write");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(setting(config, "delay_ms", "0").c_str())));
    if (argc < 2 || mode == "none") return 2;
    const std::string source = test_support::readFile(argv[1]);
    if (mode == "write") return test_support::writeFile(outputFor(argv[1]), source) ? 0 : 2;
    test_support::writeFile(outputFor(argv[1]), source.substr(0, source.size() / 2));
    if (mode == "crash") std::abort();
    return 2;
}
