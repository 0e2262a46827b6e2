#pragma once

#include <string_view>
#include <vector>

#include "extension/model/residency.hpp"
#include "extension/model/vault_records.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel {

// One folder's view of a whole residency's records: the sub-folders directly
// below `path` (sorted), then the files that lie in it (in the given order).
// The empty path is the residency folder itself.
std::vector<platform::fileprovider::ItemPtr> folderListing(Residency residency, std::string_view path,
                                                           const std::vector<VaultFile>& files);

}  // namespace ostrel
