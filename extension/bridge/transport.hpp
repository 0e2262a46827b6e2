#pragma once

// The one way the bridge talks to the companion app: one HTTP request on the
// loopback interface, bounded by a deadline, over reused connections.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "extension/bridge/handshake.hpp"
#include "extension/bridge/reply_sink.hpp"

namespace ostrel {

struct HttpRequest {
  std::string path;    // path and query, beginning with "/"
  std::string method;  // "GET" or "POST"
  std::optional<std::string> body{};
  std::optional<std::filesystem::path> uploadFrom{};  // body streamed from this file
  std::vector<std::pair<std::string, std::string>> headers{};  // applied last
  double timeout = 60;  // seconds without progress before the transfer fails
};

struct TransportLimits {
  double grace = 5;  // the deadline is timeout + grace after the start
  std::size_t maxErrorBodyBytes = 1u << 20;
};

// Sends the request to the companion app that `handshake` describes. A 2xx
// reply's body goes to `sink`; every other outcome throws BridgeError (or
// whatever `sink` threw).
void sendRequest(const Handshake& handshake, const HttpRequest& request, ReplySink& sink,
                 const TransportLimits& limits);

}  // namespace ostrel
