#include "extension/items/folder_listing.hpp"

#include <memory>

#include "extension/items/folder_item.hpp"
#include "extension/items/vault_file_item.hpp"
#include "extension/model/finder_folders.hpp"
#include "platform/text.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

std::vector<fp::ItemPtr> folderListing(Residency residency, std::string_view path,
                                       const std::vector<VaultFile>& files) {
  std::vector<std::string_view> folders;
  folders.reserve(files.size());
  std::vector<const VaultFile*> inFolder;
  for (const VaultFile& file : files) {
    std::string_view folder = file.folder ? std::string_view(*file.folder) : std::string_view();
    folders.push_back(folder);
    if (platform::canonicalEqual(folder, path)) inFolder.push_back(&file);
  }
  std::vector<std::string> children = FinderFolders::childFolders(path, folders);

  std::vector<fp::ItemPtr> items;
  items.reserve(children.size() + inFolder.size());
  std::string slug(residency.slug());
  for (std::string& child : children) items.push_back(std::make_shared<FolderItem>(slug, std::move(child)));
  for (const VaultFile* file : inFolder) items.push_back(std::make_shared<VaultFileItem>(*file));
  return items;
}

}  // namespace ostrel
