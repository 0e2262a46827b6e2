#pragma once

#include <string_view>

#include "companion/vault.hpp"

namespace ostrel::companion {

// Fills an empty vault with the named sample; a vault that already holds
// files is left as it is. False for an unknown sample name.
bool seedVault(Vault& vault, std::string_view sample);

}  // namespace ostrel::companion
