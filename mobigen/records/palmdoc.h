#pragma once

#include <string>
#include <string_view>

namespace mobigen {

// PalmDOC LZ77 for one text record. Matches never reach outside `record`, so each record
// decompresses on its own. Linear: a hash chain with a bounded walk finds the matches.
std::string compressPalmDoc(std::string_view record);

}  // namespace mobigen
