#pragma once

#include "mobigen/book.h"
#include "mobigen/book/book_readers.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

enum ExitCode { kExitSuccess = 0, kExitWarnings = 1, kExitFailure = 2 };

// The readers are passed in so the command line can be tested on its own.
struct BookReaders {
    // Gets the document already decoded to UTF-8, and a loader for the files beside it.
    std::function<Book(std::string utf8, const std::string& fallbackTitle, Diagnostics&, const ResourceLoader&)> html;
    std::function<Book(std::string_view bytes, const std::string& fallbackTitle, Diagnostics&)> epub;
};

// The whole converter behind main(): `arguments` without the program name. Messages go to
// `out`. Never throws.
int run(const std::vector<std::string>& arguments, std::ostream& out, const BookReaders& readers);

}  // namespace mobigen
