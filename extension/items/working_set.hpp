#pragma once

#include <vector>

#include "extension/model/residency.hpp"
#include "extension/model/vault_records.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel {

// The residencies whose files are kept on this device; cloud-only files
// never join the working set.
inline constexpr Residency workingSetResidencies[] = {Residency::deviceOnly, Residency::deviceAndCloud};

// Appends every file of one residency (in the given order) and then every
// folder at any depth that holds one of them (sorted).
void appendWorkingSet(std::vector<platform::fileprovider::ItemPtr>& items, Residency residency,
                      std::vector<VaultFile> files);

}  // namespace ostrel
