#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "extension/bridge/reply_sink.hpp"
#include "extension/model/residency.hpp"
#include "extension/model/vault_records.hpp"

namespace ostrel {

struct Handshake;
struct HttpRequest;

// Time and size limits of the bridge. The defaults are the production
// values; tests shorten them.
struct BridgeSettings {
  double requestTimeout = 60;     // every request but the streaming ingest
  double streamingTimeout = 300;  // the streaming ingest
  double grace = 5;               // the deadline is a request's timeout plus this
  std::size_t maxReplyBytes = std::size_t{512} << 20;  // replies held in memory
};

// The blocking client of the companion app. It keeps no state between
// requests: the handshake file is read afresh before each of them, and any
// thread may call it, several at once. Every failure is a BridgeError.
class OstrelBridge {
 public:
  static constexpr std::string_view appGroup = "K7Q2XW9MLR.com.ostrel.app";
  static constexpr std::string_view handshakeName = "finder-drive-handshake.json";

  explicit OstrelBridge(BridgeSettings settings = {}) : settings_(settings) {}

  // Every file of the residency, at every folder depth, in the order sent.
  std::vector<VaultFile> enumerate(Residency residency) const;

  // The bytes of one file.
  std::string fetch(std::string_view id) const;
  // The same, written to `sink` as they arrive.
  void fetch(std::string_view id, ReplySink& sink) const;

  void reparent(std::string_view id, Residency to) const;

  // Hands a dropped file to the companion app and returns its new id.
  std::string ingest(std::string_view filename, Residency residency,
                     const std::filesystem::path& contents, std::string_view folder = {}) const;

  const BridgeSettings& settings() const { return settings_; }

 private:
  Handshake handshake() const;
  void request(const HttpRequest& request, ReplySink& sink) const;
  std::string request(const HttpRequest& request) const;

  std::string ingestStreaming(const Handshake& handshake, std::string_view filename, Residency residency,
                              const std::filesystem::path& contents, std::string_view folder) const;
  std::string ingestJson(std::string_view filename, Residency residency,
                         const std::filesystem::path& contents, std::string_view folder) const;

  BridgeSettings settings_;
};

}  // namespace ostrel
