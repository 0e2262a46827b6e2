#include "extension/items/working_set.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "extension/items/folder_item.hpp"
#include "extension/items/vault_file_item.hpp"
#include "platform/text.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

void appendWorkingSet(std::vector<fp::ItemPtr>& items, Residency residency, std::vector<VaultFile> files) {
  // Many files share a folder: expand each distinct folder once.
  std::unordered_set<std::string> distinct;
  for (const VaultFile& file : files) {
    if (file.folder && !file.folder->empty()) distinct.insert(*file.folder);
  }
  std::unordered_set<std::string> paths;
  for (const std::string& folder : distinct) {
    std::string_view path = folder;
    for (;;) {
      // A folder path starting with "/" would leave an empty ancestor, which
      // names no folder.
      if (!path.empty() && !paths.emplace(path).second) break;  // its ancestors are in already
      auto slash = path.rfind('/');
      if (slash == std::string_view::npos) break;
      path = path.substr(0, slash);
    }
  }
  std::vector<std::string> sorted(paths.begin(), paths.end());
  std::sort(sorted.begin(), sorted.end(),
            [](const std::string& a, const std::string& b) { return platform::canonicalLess(a, b); });
  sorted.erase(std::unique(sorted.begin(), sorted.end(),
                           [](const std::string& a, const std::string& b) { return platform::canonicalEqual(a, b); }),
               sorted.end());

  items.reserve(items.size() + files.size() + sorted.size());
  for (VaultFile& file : files) items.push_back(std::make_shared<VaultFileItem>(std::move(file)));
  std::string slug(residency.slug());
  for (std::string& path : sorted) items.push_back(std::make_shared<FolderItem>(slug, std::move(path)));
}

}  // namespace ostrel
