#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace platform {
namespace {

int descriptor(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1; }
void* handleOf(int fd) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1); }

}  // namespace

bool directoryEntryExists(const std::string& path) {
    // A directory search names an entry, never "the folder itself" through a trailing separator.
    if (path.empty() || path.back() == '/') return false;
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool deleteFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    return unlink(path.c_str()) == 0;
}

bool moveFile(const std::string& from, const std::string& to) {
    // link + unlink refuses to replace an existing target, as MoveFile does.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    if (unlink(from.c_str()) != 0) {
        unlink(to.c_str());
        return false;
    }
    return true;
}

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = handleOf(fd);
    return true;
}

long long InputFile::read(char* buffer, std::size_t size) {
    if (!handle_) return -1;
    for (;;) {
        const ssize_t got = ::read(descriptor(handle_), buffer, size);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

long long InputFile::size() const {
    struct stat info {};
    if (!handle_ || fstat(descriptor(handle_), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<long long>(info.st_size);
}

void InputFile::close() {
    if (handle_) ::close(descriptor(handle_));
    handle_ = nullptr;
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::create(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    handle_ = handleOf(fd);
    return true;
}

bool OutputFile::write(const char* data, std::size_t size) {
    if (!handle_) return false;
    while (size > 0) {
        const std::size_t chunk = size < (1u << 30) ? size : (1u << 30);
        const ssize_t put = ::write(descriptor(handle_), data, chunk);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

void OutputFile::discard() {
    if (handle_) ::close(descriptor(handle_));
    handle_ = nullptr;
}

bool OutputFile::close() {
    if (!handle_) return true;
    const int fd = descriptor(handle_);
    handle_ = nullptr;
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    return (::close(fd) == 0) && synced;
}

}  // namespace platform
