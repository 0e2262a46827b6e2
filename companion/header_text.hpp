#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::companion {

// Strict percent-decoding: every "%" must start two hexadecimal digits.
// Nothing when the text is not well formed.
std::optional<std::string> percentDecode(std::string_view text);

// The original text of an X-Ostrel-Filename or X-Ostrel-Folder header as
// the HTTP server hands it over. The extension percent-encodes these values;
// older releases of the server library already decode every header value
// once, so decoding again would corrupt a name such as "100%41.txt".
std::optional<std::string> headerText(std::string_view value);

}  // namespace ostrel::companion
