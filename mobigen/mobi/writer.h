#pragma once

#include "mobigen/book.h"

#include <string>

namespace mobigen {

enum class Compression { None, PalmDoc };

// The whole .mobi file (MOBI 6, UTF-8 text) for the book.
std::string writeMobi(Book book, Compression compression);

}  // namespace mobigen
