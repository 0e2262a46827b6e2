#include "companion/account_state.hpp"

#include <array>
#include <utility>

namespace ostrel::companion {
namespace {

constexpr std::array<std::pair<AccountState, std::string_view>, 5> names{{
    {AccountState::ready, "ready"},
    {AccountState::signedOut, "signed-out"},
    {AccountState::notReady, "not-ready"},
    {AccountState::clearing, "clearing"},
    {AccountState::stuck, "stuck"},
}};

}  // namespace

std::string_view name(AccountState state) {
  for (const auto& [value, text] : names) {
    if (value == state) return text;
  }
  return "ready";
}

std::optional<AccountState> accountStateFromName(std::string_view text) {
  for (const auto& [value, known] : names) {
    if (known == text) return value;
  }
  return std::nullopt;
}

Settings SettingsBox::get() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void SettingsBox::set(const Settings& settings) {
  std::function<void(const Settings&)> listener;
  {
    std::lock_guard lock(mutex_);
    settings_ = settings;
    listener = listener_;
  }
  if (listener) listener(settings);
}

void SettingsBox::onChange(std::function<void(const Settings&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

}  // namespace ostrel::companion
