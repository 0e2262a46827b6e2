#pragma once

#include <optional>
#include <string_view>

#include "companion/vault.hpp"

namespace ostrel::companion {

// A generated vault for measuring: `files` empty files spread round-robin
// over `folders` folders. Without a residency the folders alternate between
// device-only and device-and-cloud, so each holds half.
struct BenchSample {
  int files = 0;
  int folders = 0;
  std::optional<Residency> residency{};
};

// "bench:FILES:FOLDERS[:RESIDENCY]", FILES 1 to 10,000,000, FOLDERS 1 to
// FILES; nothing for any other text.
std::optional<BenchSample> parseBenchSample(std::string_view text);

// "demo" or a bench sample.
bool isSampleName(std::string_view text);

// Fills an empty vault with the named sample; a vault that already holds
// files is left as it is. False for an unknown sample name.
bool seedVault(Vault& vault, std::string_view sample);

}  // namespace ostrel::companion
