#pragma once

// Files and folders for tests, addressed by byte paths (ANSI on Windows), so names in code
// page 936 reach the system exactly as the program would pass them.

#include <optional>
#include <string>
#include <vector>

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

// A program folder with the fake converter as Tools/kindlegen.exe and a folder of books
// beside it, under `root`. The fake copies its source to the .mobi unless told otherwise.
class ProgramLayout {
public:
    explicit ProgramLayout(const std::string& root);
    bool ready() const { return ready_; }

    std::string book(const std::string& name) const { return join(books, name); }
    std::string addBook(const std::string& name, const std::string& text = "a line\r\nanother\r\n") const;
    // mode=write|none|partial|crash, delay_ms=N (see fake_converter.cpp).
    bool converterBehaves(const std::string& config) const;
    // Puts another program (our own converter) in the fake's place.
    bool useConverter(const std::string& program) const;
    // What the fake was started with: "cwd=…" and "arg=…" lines, run after run.
    std::vector<std::string> converterLog() const;

    std::string program, tools, books, converter;

private:
    bool ready_ = false;
};

}  // namespace testing_support
