#pragma once

// Files and folders for tests, addressed by byte paths (ANSI on Windows), so names in code
// page 936 reach the system exactly as the program would pass them.

#include <optional>
#include <string>

namespace testing_support {

char separator();
std::string join(const std::string& folder, const std::string& name);
bool makeFolder(const std::string& path);
bool writeFile(const std::string& path, const std::string& bytes);
std::optional<std::string> readFile(const std::string& path);
bool exists(const std::string& path);
// Copies a program and makes the copy executable.
bool copyProgram(const std::string& from, const std::string& to);
// Folder holding the running test executable (and the helper programs built beside it).
std::string executableFolder();

#ifdef _WIN32
// Holds a file open with no sharing at all, as another program might.
class ExclusiveHold {
public:
    explicit ExclusiveHold(const std::string& path);
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
    bool held() const;

private:
    void* handle_;
};
#endif

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return join(path_, name); }

private:
    std::string path_;
};

}  // namespace testing_support
