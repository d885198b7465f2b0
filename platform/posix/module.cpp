#include "platform/module.h"

#include <unistd.h>

#include <vector>

namespace platform {

std::string executablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace platform
