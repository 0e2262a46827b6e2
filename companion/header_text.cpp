#include "companion/header_text.hpp"

#include <httplib.h>

namespace ostrel::companion {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The server library stopped decoding header values in release 0.44.
constexpr bool libraryDecodesHeaders() {
  std::string_view version = CPPHTTPLIB_VERSION;
  int major = 0;
  int minor = 0;
  std::size_t i = 0;
  for (; i < version.size() && version[i] != '.'; ++i) major = major * 10 + (version[i] - '0');
  for (++i; i < version.size() && version[i] != '.'; ++i) minor = minor * 10 + (version[i] - '0');
  return major == 0 && minor < 44;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hexValue(text[i + 1]);
    int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

std::optional<std::string> headerText(std::string_view value) {
  if constexpr (libraryDecodesHeaders()) {
    return std::string(value);
  } else {
    return percentDecode(value);
  }
}

}  // namespace ostrel::companion
