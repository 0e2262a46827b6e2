#include "extension/bridge/percent_encoding.hpp"

#include <array>

namespace ostrel {
namespace {

// Built once, at first use, and shared by every caller.
const std::array<bool, 256>& unreserved() {
  static const std::array<bool, 256> table = [] {
    std::array<bool, 256> t{};
    for (char c : asciiAlphanumerics) t[static_cast<unsigned char>(c)] = true;
    return t;
  }();
  return table;
}

}  // namespace

std::string percentEncode(std::string_view text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  const auto& keep = unreserved();
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (keep[byte]) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(hex[byte >> 4]);
      out.push_back(hex[byte & 0xF]);
    }
  }
  return out;
}

}  // namespace ostrel
