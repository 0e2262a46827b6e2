#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// The only characters that travel unencoded in ids, names and folder paths.
inline constexpr std::string_view asciiAlphanumerics =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Every byte outside asciiAlphanumerics becomes "%" and two upper-case
// hexadecimal digits.
std::string percentEncode(std::string_view text);

}  // namespace ostrel
