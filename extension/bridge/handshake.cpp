#include "extension/bridge/handshake.hpp"

#include <system_error>

#include "extension/bridge/bridge_error.hpp"
#include "extension/bridge/ostrel_bridge.hpp"
#include "extension/model/json_fields.hpp"
#include "platform/app_group.hpp"
#include "platform/files.hpp"

namespace ostrel {
namespace {

// A handshake is a few hundred bytes; anything this large is not one.
constexpr std::size_t maxHandshakeBytes = 1u << 20;

}  // namespace

Handshake decodeHandshake(std::string_view json) {
  json::Document document(json);
  auto object = document.object();
  Handshake handshake;
  bool sawPort = false;
  bool sawToken = false;
  for (auto field : object) {
    std::string_view key = field.key;
    auto value = field.value;
    if (key == "port") {
      if (value.is_null()) json::missing(key);
      handshake.port = json::int64(value, key);
      sawPort = true;
    } else if (key == "token") {
      if (value.is_null()) json::missing(key);
      handshake.token = json::text(value, key);
      sawToken = true;
    } else if (key == "vaultId") {
      handshake.vaultId = json::optionalText(value, key);
    } else if (key == "maxFileBytes") {
      handshake.maxFileBytes = json::optionalInt64(value, key);
    } else if (key == "streamIngest") {
      handshake.streamIngest = json::optionalBoolean(value, key);
    } else if (key == "signedIn") {
      handshake.signedIn = json::optionalBoolean(value, key);
    } else if (key == "accountId") {
      handshake.accountId = json::optionalText(value, key);
    } else if (key == "clearing") {
      handshake.clearing = json::optionalBoolean(value, key);
    } else if (key == "stuck") {
      handshake.stuck = json::optionalBoolean(value, key);
    }
  }
  if (!sawPort) json::missing("port");
  if (!sawToken) json::missing("token");
  return handshake;
}

bool handshakeSaysSignedOut(std::optional<bool> signedIn, const std::optional<std::string>& vaultId) {
  if (signedIn) return !*signedIn;
  return !vaultId || vaultId->empty();
}

Handshake loadHandshake() {
  auto container = platform::groupContainer(OstrelBridge::appGroup);
  if (!container) throw BridgeError::appNotRunning();
  auto path = *container / std::string(OstrelBridge::handshakeName);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw BridgeError::appNotRunning();

  std::string bytes;
  try {
    bytes = platform::readWholeFile(path, maxHandshakeBytes);
  } catch (const std::system_error& e) {
    throw BridgeError::malformed("handshake unreadable: " + e.code().message());
  } catch (const std::length_error&) {
    throw BridgeError::malformed("handshake unreadable: the file is larger than 1 MiB");
  }

  Handshake handshake;
  try {
    handshake = decodeHandshake(bytes);
  } catch (const DecodeError& e) {
    throw BridgeError::malformed(std::string("handshake unparseable: ") + e.what());
  }

  if (handshake.clearing.value_or(false)) {
    throw handshake.stuck.value_or(false) ? BridgeError::clearingStuck() : BridgeError::clearingPrevious();
  }
  if (handshakeSaysSignedOut(handshake.signedIn, handshake.vaultId)) throw BridgeError::notSignedIn();
  return handshake;
}

}  // namespace ostrel
