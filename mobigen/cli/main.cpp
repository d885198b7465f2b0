#include "mobigen/book/book_readers.h"
#include "mobigen/cli/command_line.h"
#include "platform/mbstring.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    platform::useAnsiCodePage();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    mobigen::BookReaders readers;
    readers.html = [](std::string utf8, const std::string& title, mobigen::Diagnostics& diagnostics,
                      const mobigen::ResourceLoader& resources) {
        return mobigen::readHtmlBook(std::move(utf8), title, diagnostics, resources);
    };
    readers.epub = [](std::string_view bytes, const std::string& title, mobigen::Diagnostics& diagnostics) {
        return mobigen::readEpubBook(bytes, title, diagnostics);
    };
    const int status = mobigen::run(arguments, std::cout, readers);
    std::cout.flush();
    return status;
}
