#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The companion app's handshake file: how to reach it and in which state it
// is. Read afresh before every request; nothing of it is cached.
struct Handshake {
  std::int64_t port = 0;
  std::string token;
  std::optional<std::string> vaultId;
  std::optional<std::int64_t> maxFileBytes;
  std::optional<bool> streamIngest;
  std::optional<bool> signedIn;
  std::optional<std::string> accountId;
  std::optional<bool> clearing;
  std::optional<bool> stuck;
};

// Strict decode of the file's bytes; throws DecodeError.
Handshake decodeHandshake(std::string_view json);

bool handshakeSaysSignedOut(std::optional<bool> signedIn, const std::optional<std::string>& vaultId);

// Finds, reads, decodes and judges the handshake file in the application
// group's container. Throws BridgeError.
Handshake loadHandshake();

}  // namespace ostrel
