#pragma once

#include "mobigen/book.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

enum ExitCode { kExitSuccess = 0, kExitWarnings = 1, kExitFailure = 2 };

// The readers are passed in so the command line can be tested on its own.
struct BookReaders {
    using Reader = std::function<Book(std::string_view bytes, const std::string& fallbackTitle, Diagnostics&)>;
    Reader html;  // gets the document already decoded to UTF-8
    Reader epub;
};

// The whole converter behind main(): `arguments` without the program name. Messages go to
// `out`. Never throws.
int run(const std::vector<std::string>& arguments, std::ostream& out, const BookReaders& readers);

}  // namespace mobigen
