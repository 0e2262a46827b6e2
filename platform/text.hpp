#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel::platform {

// Canonically composed form (NFC) of UTF-8 text; text that is not valid
// UTF-8 is returned unchanged.
std::string composed(std::string_view utf8);

// Order of texts under canonical equivalence: by the scalar values of their
// composed forms, which for ASCII is byte order.
bool canonicalLess(std::string_view a, std::string_view b);
bool canonicalEqual(std::string_view a, std::string_view b);

// The longest prefix holding at most `count` user-perceived characters
// (extended grapheme clusters), so a combining sequence is never cut apart.
std::string_view graphemePrefix(std::string_view utf8, std::size_t count);

bool isValidUtf8(std::string_view bytes);

}  // namespace ostrel::platform
