#pragma once

#include "companion/account_state.hpp"
#include "companion/vault.hpp"

namespace ostrel::companion {

// What every request handler works on. The vault and the settings are
// thread-safe on their own; this holds only references.
struct Companion {
  Vault& vault;
  SettingsBox& settings;
};

}  // namespace ostrel::companion
