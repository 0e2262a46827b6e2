#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

namespace ostrel::companion {

// What the companion tells the extension about the account, and how the
// vault endpoints answer in each state.
enum class AccountState {
  ready,      // signed in with a vault bound
  signedOut,  // no account
  notReady,   // signed in, no vault bound yet: endpoints answer 409 "no vault bound"
  clearing,   // removing a previous account's files
  stuck,      // clearing, and it cannot finish
};

std::string_view name(AccountState state);
std::optional<AccountState> accountStateFromName(std::string_view text);

// The settings the handshake file publishes.
struct Settings {
  AccountState state{AccountState::ready};
  bool streamIngest{false};
  std::int64_t maxFileBytes{0};  // 0: no limit

  bool operator==(const Settings&) const = default;
};

// The current settings, shared by the request threads; whoever changes them
// is told so that the handshake file follows.
class SettingsBox {
 public:
  explicit SettingsBox(Settings initial) : settings_(initial) {}

  Settings get() const;
  void set(const Settings& settings);
  // Called after every change, outside the lock.
  void onChange(std::function<void(const Settings&)> listener);

 private:
  mutable std::mutex mutex_;
  Settings settings_;                             // guarded by mutex_
  std::function<void(const Settings&)> listener_;  // guarded by mutex_
};

}  // namespace ostrel::companion
