#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Why the companion app could not serve a request. Every case carries the
// sentence the user sees.
class BridgeError : public std::exception {
 public:
  enum class Kind {
    http,
    malformed,
    tooLarge,
    refused,
    unreachable,
    said,
    appNotRunning,
    notSignedIn,
    notReady,
    clearingPrevious,
    clearingStuck,
  };

  static BridgeError http(std::int64_t status, std::string body);
  static BridgeError malformed(std::string text);
  static BridgeError tooLarge(std::string sentence);
  static BridgeError refused(std::string sentence);
  static BridgeError unreachable(std::string sentence);
  static BridgeError said(std::string sentence);
  static BridgeError appNotRunning();
  static BridgeError notSignedIn();
  static BridgeError notReady();
  static BridgeError clearingPrevious();
  static BridgeError clearingStuck();

  Kind kind() const { return kind_; }
  // The status of an `http` error, 0 for the other cases.
  std::int64_t status() const { return status_; }
  // The payload text of the six cases that carry one; empty for the others.
  const std::string& payload() const { return payload_; }

  const std::string& errorDescription() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

  bool isClearing() const { return kind_ == Kind::clearingPrevious || kind_ == Kind::clearingStuck; }
  bool isNotReady() const { return kind_ == Kind::notReady; }

  bool operator==(const BridgeError& other) const {
    return kind_ == other.kind_ && status_ == other.status_ && payload_ == other.payload_;
  }

 private:
  BridgeError(Kind kind, std::int64_t status, std::string payload);

  Kind kind_;
  std::int64_t status_;
  std::string payload_;
  std::string description_;
};

std::string_view toString(BridgeError::Kind kind);

// Classifies a reply whose status lies outside 200 to 299. Never fails.
BridgeError bridgeError(std::int64_t status, const std::optional<std::string>& body);

}  // namespace ostrel
