#include "extension/bridge/upload_limit.hpp"

#include <charconv>

#include "extension/bridge/bridge_error.hpp"

namespace ostrel {

std::string megabytesText(std::int64_t bytes) {
  double megabytes = static_cast<double>(bytes) * 9.5367431640625e-7;  // 2^-20
  char buffer[64];
  // to_chars is the C "%.1f" without the locale's decimal separator.
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, megabytes, std::chars_format::fixed, 1);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

void checkUploadLimit(std::string_view filename, std::int64_t size, std::optional<std::int64_t> maxFileBytes) {
  if (!maxFileBytes || *maxFileBytes <= 0 || size <= *maxFileBytes) return;
  throw BridgeError::tooLarge("\u201C" + std::string(filename) + "\u201D is " + megabytesText(size) +
                              " MB. The Ostrel folder accepts files up to " + megabytesText(*maxFileBytes) +
                              " MB.");
}

}  // namespace ostrel
