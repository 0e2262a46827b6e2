#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Bytes as megabytes (1,048,576 bytes) with one digit after ".", in any locale.
std::string megabytesText(std::int64_t bytes);

// Throws tooLarge when a positive limit is exceeded; absent, 0 or negative
// means no limit.
void checkUploadLimit(std::string_view filename, std::int64_t size, std::optional<std::int64_t> maxFileBytes);

}  // namespace ostrel
