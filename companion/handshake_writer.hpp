#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "companion/account_state.hpp"

namespace ostrel::companion {

inline constexpr const char* appGroup = "K7Q2XW9MLR.com.ostrel.app";
inline constexpr const char* handshakeName = "finder-drive-handshake.json";

// What goes into the handshake file besides the settings.
struct Endpoint {
  int port{0};
  std::string token{};
  std::string vaultId{};
  std::string accountId{};
};

// The handshake object for the extension: signed out carries no account and
// no vault, not ready an account but no vault.
nlohmann::json handshakeJson(const Endpoint& endpoint, const Settings& settings);

// ${XDG_DATA_HOME:-$HOME/.local/share}/group-containers/<group>/<handshake>.
std::filesystem::path defaultHandshakePath();

// Publishes the handshake file. The extension may read it at any moment, so
// every version is written to a temporary file beside it and renamed into
// place: a reader sees the old file or the new one, never half of one.
class HandshakeWriter {
 public:
  explicit HandshakeWriter(std::filesystem::path file) : file_(std::move(file)) {}

  // Creates the container folder when missing. Throws std::system_error.
  // Does nothing once retired.
  void write(const nlohmann::json& handshake);
  // Removes the file for good: a state change that races with the stop
  // must not bring it back.
  void retire();
  const std::filesystem::path& file() const { return file_; }

 private:
  std::mutex mutex_;  // one writer at a time, so renames land in order
  std::filesystem::path file_;
  bool retired_ = false;  // guarded by mutex_
};

}  // namespace ostrel::companion
