#pragma once

#include <exception>
#include <string>

#include "platform/fileprovider/error.hpp"

namespace ostrel {

// The host's error for a failure. A BridgeError without payload (the app is
// not running, signed out, not ready or clearing) becomes the temporary
// serverUnreachable (-1004) carrying its sentence. Every other error keeps
// its identity: a BridgeError with payload arrives in the bridge's own domain
// with its sentence and a code naming its case (1 for http, in declaration
// order up to 11 for clearingStuck); any other exception as
// Error::fromException.
platform::fileprovider::Error fileProviderError(const std::exception& error);

// A refusal the host must not retry: excludedFromSync (-2010) with the
// sentence, unchanged.
platform::fileprovider::Error terminalRefusal(std::string message);

}  // namespace ostrel
