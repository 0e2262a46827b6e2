#include "extension/model/residency.hpp"

namespace ostrel {
namespace {

struct Names {
  std::string_view rawValue;
  std::string_view slug;
};

constexpr std::array<Names, 3> names{{
    {"Device only", "device-only"},
    {"Device + Cloud", "device-and-cloud"},
    {"Cloud only", "cloud-only"},
}};

}  // namespace

std::string_view Residency::rawValue() const { return names[value_].rawValue; }
std::string_view Residency::slug() const { return names[value_].slug; }

std::optional<Residency> Residency::fromRawValue(std::string_view displayName) {
  for (auto r : allCases()) {
    if (r.rawValue() == displayName) return r;
  }
  return std::nullopt;
}

std::optional<Residency> Residency::fromSlug(std::string_view slug) {
  for (auto r : allCases()) {
    if (r.slug() == slug) return r;
  }
  return std::nullopt;
}

}  // namespace ostrel
