#include "extension/items/double_text.hpp"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace ostrel {

std::string doubleText(double value) {
  char buffer[400];  // fixed notation of the largest plain-form double fits easily
  double magnitude = std::fabs(value);
  // Plain digits where times and sizes live; beyond it the shortest form,
  // which may be an exponent.
  bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude <= 0x1p54);
  auto result = plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                      : std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

}  // namespace ostrel
