#include "platform/files.h"

#include <windows.h>

namespace platform {
namespace {

HANDLE native(void* handle) { return static_cast<HANDLE>(handle); }

}  // namespace

bool directoryEntryExists(const std::string& path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool deleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool moveFile(const std::string& from, const std::string& to) { return MoveFileA(from.c_str(), to.c_str()) != FALSE; }

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::string& path) {
    close();
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = file;
    return true;
}

long long InputFile::read(char* buffer, std::size_t size) {
    if (!handle_) return -1;
    DWORD got = 0;
    const DWORD wanted = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
    if (!ReadFile(native(handle_), buffer, wanted, &got, nullptr)) return -1;
    return got;
}

long long InputFile::size() const {
    LARGE_INTEGER size{};
    if (!handle_ || !GetFileSizeEx(native(handle_), &size)) return -1;
    return static_cast<long long>(size.QuadPart);
}

void InputFile::close() {
    if (handle_) CloseHandle(native(handle_));
    handle_ = nullptr;
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::create(const std::string& path) {
    close();
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = file;
    return true;
}

bool OutputFile::write(const char* data, std::size_t size) {
    if (!handle_) return false;
    while (size > 0) {
        const DWORD chunk = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
        DWORD put = 0;
        if (!WriteFile(native(handle_), data, chunk, &put, nullptr) || put == 0) return false;
        data += put;
        size -= put;
    }
    return true;
}

void OutputFile::discard() {
    if (handle_) CloseHandle(native(handle_));
    handle_ = nullptr;
}

bool OutputFile::close() {
    if (!handle_) return true;
    const HANDLE file = native(handle_);
    handle_ = nullptr;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    return CloseHandle(file) != FALSE && flushed;
}

}  // namespace platform
