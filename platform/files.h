#pragma once

#include <cstddef>
#include <string>

namespace platform {

// True when a directory search for `path` finds an entry (a file or a folder). A folder path
// with a trailing separator or a bare drive root finds nothing, as with FindFirstFile.
bool directoryEntryExists(const std::string& path);

bool deleteFile(const std::string& path);

// Renames within one folder; fails rather than overwrite an existing `to`.
bool moveFile(const std::string& from, const std::string& to);

// Moves `from` over `to`, replacing an existing `to` in one step.
bool replaceFile(const std::string& from, const std::string& to);

// A file opened for reading while other processes are denied write access.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool open(const std::string& path);
    // Bytes read (0 at the end), or -1 on a read error.
    long long read(char* buffer, std::size_t size);
    // Its size when opened, or -1 when the system cannot tell.
    long long size() const;
    void close();

private:
    void* handle_ = nullptr;
};

// A file created (or truncated) for writing while other processes are denied write access.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool create(const std::string& path);
    // Writes every byte or reports failure (a full disk, a size limit).
    bool write(const char* data, std::size_t size);
    // Flushes and closes; false when the data did not reach the file.
    bool close();
    // Closes without flushing, for a scratch file that is read back or deleted next.
    void discard();

private:
    void* handle_ = nullptr;
};

}  // namespace platform
