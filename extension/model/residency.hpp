#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// Where the vault keeps a file's bytes. The display name (raw value) names the
// folder the user sees; the slug crosses the bridge and identifies that
// folder. The two are never interchangeable.
class Residency {
 public:
  enum Case : std::uint8_t { deviceOnly, deviceAndCloud, cloudOnly };

  constexpr Residency(Case value) : value_(value) {}  // NOLINT: implicit by design
  constexpr operator Case() const { return value_; }  // lets a switch see the cases

  static constexpr std::array<Residency, 3> allCases() {
    return {Residency(deviceOnly), Residency(deviceAndCloud), Residency(cloudOnly)};
  }
  static std::optional<Residency> fromRawValue(std::string_view displayName);
  static std::optional<Residency> fromSlug(std::string_view slug);

  std::string_view rawValue() const;
  std::string_view slug() const;

 private:
  Case value_;
};

}  // namespace ostrel
