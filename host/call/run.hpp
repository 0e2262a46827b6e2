#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace ostrel::host::call {

// `ostrel-fphost call WORDS…`: loads the extension for the domain "ostrel",
// performs one call (or, for the single word "-", one per line of `in`) and
// prints one JSON object per call on `out`. Usage errors go to `err`.
// Returns the exit status.
int run(std::span<const std::string> words, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace ostrel::host::call
