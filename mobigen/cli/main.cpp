#include "mobigen/cli/command_line.h"
#include "mobigen/read/book_readers.h"
#include "platform/mbstring.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // A fixed threshold: glibc would otherwise raise it after the first large free, and the
    // book's big texts would then stay in the heap after they are released.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    platform::useAnsiCodePage();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    mobigen::BookReaders readers;
    readers.html = [](std::string_view utf8, const std::string& title, mobigen::Diagnostics& diagnostics,
                      const mobigen::ResourceLoader& resources) {
        return mobigen::readHtmlBook(utf8, title, diagnostics, resources);
    };
    readers.epub = [](std::string_view bytes, const std::string& title, mobigen::Diagnostics& diagnostics) {
        return mobigen::readEpubBook(bytes, title, diagnostics);
    };
    const int status = mobigen::run(arguments, std::cout, readers);
    std::cout.flush();
    return status;
}
