#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ostrel::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest sha256(std::string_view bytes);

// Standard Base64 (RFC 4648, "+" and "/", "=" padding, no line breaks).
std::string base64Encode(std::string_view bytes);

// Lower-case hexadecimal text of any byte buffer.
std::string hexEncode(std::span<const std::uint8_t> bytes);

}  // namespace ostrel::platform
