#pragma once

// Helpers shared by mobigen's tests: a private temporary folder, whole-file I/O and commands.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace mobigen_test {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder()
        : path_(fs::temp_directory_path() /
                ("mobigen-test-" + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// A std::string name goes through the C runtime as the converter's own names do: ANSI on
// Windows, where std::filesystem would read it differently.
template <typename Path>
std::string readFile(const Path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

template <typename Path>
void writeFile(const Path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string repeat(const std::string& piece, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i) s += piece;
    return s;
}

inline std::uint32_t be32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(s.at(at + i));
    return v;
}

// Runs a shell command with its output captured in `output`; returns its exit status.
inline int runCommand(const std::string& command, const fs::path& output) {
    std::string line = command + " > \"" + output.string() + "\" 2>&1";
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that holds more than two.
    return std::system(("\"" + line + "\"").c_str());
#else
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

inline bool haveMobitool() {
#ifdef _WIN32
    return false;
#else
    return std::system("mobitool -v > /dev/null 2>&1") == 0;
#endif
}

}  // namespace mobigen_test
