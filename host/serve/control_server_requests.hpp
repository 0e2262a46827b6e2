#pragma once

// Requests of the control socket, decoded and answered
// (docs/control-socket.md): one line in, one line out.

#include <string>
#include <string_view>

#include "host/serve/serve_loop_domains.hpp"

namespace ostrel::host {

// The reply line, without its line feed. Never throws: a malformed request,
// an unknown op and any failure on the way become {"error": …}.
std::string answerRequest(MountedDomains& domains, std::string_view line) noexcept;

// The reply to a request that could not be read at all.
std::string errorReply(const platform::fileprovider::Error& error) noexcept;

}  // namespace ostrel::host
