#pragma once

// The control socket of `ostrel-fphost serve`: one JSON request line and one
// JSON reply line per connection (docs/control-socket.md).

#include <chrono>
#include <filesystem>
#include <string>
#include <variant>

#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::platform::fileprovider {

// Domain of the errors the client reports itself, codes being errno values.
inline constexpr const char* kControlSocketErrorDomain = "com.ostrel.fileprovider.control";

// $XDG_RUNTIME_DIR/ostrel/fphost.sock, or /run/user/<uid>/ostrel/fphost.sock
// when XDG_RUNTIME_DIR is unset or not absolute.
std::filesystem::path controlSocketPath();

// Sends one request line and returns the reply line without its line feed, or
// the reason there is none. Gives up at the deadline, whatever the peer does.
std::variant<std::string, Error> exchange(const std::filesystem::path& socket,
                                              const std::string& request,
                                              std::chrono::steady_clock::time_point deadline);

}  // namespace ostrel::platform::fileprovider
