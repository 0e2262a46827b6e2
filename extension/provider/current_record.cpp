#include "extension/provider/current_record.hpp"

#include <algorithm>
#include <vector>

namespace ostrel {

std::optional<VaultFile> currentRecord(const OstrelBridge& bridge, std::string_view id) {
  // Every listing is asked before any is searched: a later residency failing
  // must fail the lookup even when an earlier one holds the id.
  std::vector<VaultFile> all;
  for (Residency residency : Residency::allCases()) {
    auto files = bridge.enumerate(residency);
    all.insert(all.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
  }
  auto it = std::find_if(all.begin(), all.end(), [&](const VaultFile& file) { return file.id == id; });
  if (it == all.end()) return std::nullopt;
  return std::move(*it);
}

}  // namespace ostrel
