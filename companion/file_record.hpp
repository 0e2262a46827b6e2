#pragma once

#include <cstdint>
#include <string>

#include "companion/residency.hpp"

namespace ostrel::companion {

// One file of the vault as the index keeps it.
struct FileRecord {
  std::string id{};
  std::string filename{};
  std::string folder{};  // empty: directly in the residency folder
  Residency residency{Residency::deviceOnly};
  std::int64_t size{0};
  double modifiedAt{0};  // seconds since 1970
  bool materialized{false};

  bool operator==(const FileRecord&) const = default;
};

}  // namespace ostrel::companion
