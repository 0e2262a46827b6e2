#include "companion/residency.hpp"

namespace ostrel::companion {

std::string_view slug(Residency residency) {
  switch (residency) {
    case Residency::deviceOnly: return "device-only";
    case Residency::deviceAndCloud: return "device-and-cloud";
    case Residency::cloudOnly: return "cloud-only";
  }
  return "device-only";
}

std::optional<Residency> residencyFromSlug(std::string_view text) {
  for (Residency residency : allResidencies) {
    if (slug(residency) == text) return residency;
  }
  return std::nullopt;
}

}  // namespace ostrel::companion
