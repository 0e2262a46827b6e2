#include "extension/provider/error_mapping.hpp"

#include "extension/bridge/bridge_error.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

fp::Error fileProviderError(const std::exception& error) {
  const auto* bridge = dynamic_cast<const BridgeError*>(&error);
  if (bridge == nullptr) return fp::Error::fromException(error);
  switch (bridge->kind()) {
    case BridgeError::Kind::appNotRunning:
    case BridgeError::Kind::notSignedIn:
    case BridgeError::Kind::notReady:
    case BridgeError::Kind::clearingPrevious:
    case BridgeError::Kind::clearingStuck:
      return fp::Error::fileProvider(fp::errorCode::serverUnreachable, bridge->errorDescription());
    default:
      return fp::Error{std::string(fp::bridgeErrorDomain), static_cast<std::int64_t>(bridge->kind()) + 1,
                       bridge->errorDescription()};
  }
}

fp::Error terminalRefusal(std::string message) {
  return fp::Error::fileProvider(fp::errorCode::excludedFromSync, std::move(message));
}

}  // namespace ostrel
