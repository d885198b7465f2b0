#include "tests/support/files.h"

#include "platform/module.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <direct.h>
#include <process.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace test_support {
namespace {

char separator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string join(const std::string& folder, const std::string& name) { return folder + separator() + name; }

}  // namespace

bool makeFolder(const std::string& path) {
#ifdef _WIN32
    return _mkdir(path.c_str()) == 0;
#else
    return mkdir(path.c_str(), 0777) == 0;
#endif
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::string readFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

bool exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file) std::fclose(file);
    return file != nullptr;
}

std::string executableFolder() {
    const std::string self = platform::executablePath();
    return self.substr(0, self.find_last_of(separator()));
}

int runCommand(const std::string& command, const std::string& output) {
    const std::string line = command + " > \"" + output + "\" 2>&1";
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that holds more than two.
    return std::system(("\"" + line + "\"").c_str());
#else
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

bool haveMobitool() {
#ifdef _WIN32
    return false;
#else
    return std::system("mobitool -v > /dev/null 2>&1") == 0;
#endif
}

TempFolder::TempFolder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code error;
    std::string root = std::filesystem::temp_directory_path(error).string();
    while (root.size() > 1 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    path_ = join(root, "tw-test-" + std::to_string(getpid()) + "-" + std::to_string(stamp % 1000000) + "-" +
                           std::to_string(counter++));
    makeFolder(path_);
}

std::string TempFolder::operator/(const std::string& name) const { return join(path_, name); }

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(path_), error);
}

ProgramLayout::ProgramLayout(const std::string& root)
    : program(join(root, "program")),
      tools(join(program, "Tools")),
      books(join(root, "books")),
      converter(join(tools, "kindlegen.exe")) {
#ifdef _WIN32
    const char fake[] = "fake_converter.exe";
#else
    const char fake[] = "fake_converter";
#endif
    ready_ =
        makeFolder(program) && makeFolder(tools) && makeFolder(books) && useConverter(join(executableFolder(), fake));
}

std::string ProgramLayout::book(const std::string& name) const { return join(books, name); }

bool ProgramLayout::converterBehaves(const std::string& config) const {
    return writeFile(join(tools, "fake_converter.cfg"), config);
}

bool ProgramLayout::useConverter(const std::string& from) const {
    if (!exists(from) || !writeFile(converter, readFile(from))) return false;
#ifndef _WIN32
    if (chmod(converter.c_str(), 0755) != 0) return false;
#endif
    return true;
}

std::vector<std::string> ProgramLayout::converterLog() const {
    std::vector<std::string> lines;
    std::istringstream log(readFile(join(tools, "fake_converter.log")));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

#ifdef _WIN32
ExclusiveHold::ExclusiveHold(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}

ExclusiveHold::~ExclusiveHold() {
    if (held()) CloseHandle(handle_);
}

bool ExclusiveHold::held() const { return handle_ != INVALID_HANDLE_VALUE; }
#endif

}  // namespace test_support
