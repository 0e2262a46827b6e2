#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace ostrel::companion {

// The number of bytes that standard Base64 text (RFC 4648, "=" padding, no
// line breaks) decodes to; nothing when its length or padding is wrong.
std::optional<std::int64_t> base64DecodedSize(std::string_view text);

// Decodes standard Base64 piece by piece, handing each decoded piece to
// `sink`, so the whole decoded file is never held at once. False when the
// text is not valid Base64 or `sink` returns false.
bool base64Decode(std::string_view text, const std::function<bool(std::string_view)>& sink);

}  // namespace ostrel::companion
