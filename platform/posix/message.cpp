#include "platform/message.h"

#include "platform/mbstring.h"
#include "platform/module.h"

#include <cstdio>

namespace platform {

std::string defaultTitle() {
    const std::string path = executablePath();
    std::string name = path.substr(path.rfind('/') + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

// There is no message box here; the text goes where a user of a command line looks.
void showUserMessage(WindowRef, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", defaultTitle().c_str(), text.c_str());
}

}  // namespace platform
