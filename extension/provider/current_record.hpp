#pragma once

#include <optional>
#include <string_view>

#include "extension/bridge/ostrel_bridge.hpp"
#include "extension/model/vault_records.hpp"

namespace ostrel {

// The record of a file id in a fresh listing of every residency, in
// Residency::allCases() order, the earliest residency winning. Stops at the
// first listing that throws, and passes that error on; nothing when no
// record has the id.
std::optional<VaultFile> currentRecord(const OstrelBridge& bridge, std::string_view id);

}  // namespace ostrel
