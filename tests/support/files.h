#pragma once

// Files, folders and commands for the tests of the program, the converter and the fuzz targets.
// Paths are bytes handed to the C runtime as they are (the ANSI code page on Windows), so names in
// code page 936 reach the system exactly as the program would pass them; std::filesystem takes
// them too, as long as they are ASCII, which every folder made here is.

#include <string>
#include <vector>

namespace test_support {

bool makeFolder(const std::string& path);
bool writeFile(const std::string& path, const std::string& bytes);
// Empty when the file cannot be read; ask exists() to tell a missing file from an empty one.
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Folder holding the running test executable (and the helper programs built beside it).
std::string executableFolder();

// Runs a shell command with its output captured in the file `output`; returns its exit status.
int runCommand(const std::string& command, const std::string& output);
bool haveMobitool();

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

// A program folder with the fake converter as Tools/kindlegen.exe and a folder of books
// beside it, under `root`. The fake copies its source to the .mobi unless told otherwise.
class ProgramLayout {
public:
    explicit ProgramLayout(const std::string& root);
    bool ready() const { return ready_; }

    std::string book(const std::string& name) const;
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

}  // namespace test_support
