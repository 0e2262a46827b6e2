#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ostrel::companion {

// Where the vault keeps a file's bytes.
enum class Residency { deviceOnly, deviceAndCloud, cloudOnly };

inline constexpr std::array<Residency, 3> allResidencies{Residency::deviceOnly, Residency::deviceAndCloud,
                                                         Residency::cloudOnly};

std::string_view slug(Residency residency);
std::optional<Residency> residencyFromSlug(std::string_view text);

// A cloud-only file has no bytes on this device until it is downloaded.
inline bool materializedIn(Residency residency) { return residency != Residency::cloudOnly; }

}  // namespace ostrel::companion
