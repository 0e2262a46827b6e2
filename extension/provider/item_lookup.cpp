#include "extension/items/folder_item.hpp"
#include "extension/items/residency_folder_item.hpp"
#include "extension/items/root_item.hpp"
#include "extension/items/vault_file_item.hpp"
#include "extension/model/finder_folders.hpp"
#include "extension/provider/current_record.hpp"
#include "extension/provider/error_mapping.hpp"
#include "extension/provider/ostrel_file_provider.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

namespace {

struct Lookup {
  fp::ItemPtr item{};
  std::optional<fp::Error> error{};
};

// Folders are answered from their identifier alone; anything else is taken
// for a file id and looked up in every residency.
Lookup lookUp(const OstrelBridge& bridge, const std::string& identifier) {
  try {
    if (identifier == fp::rootContainer) return {.item = std::make_shared<RootItem>()};
    if (auto residency = Residency::fromSlug(identifier)) {
      return {.item = std::make_shared<ResidencyFolderItem>(*residency)};
    }
    if (auto folder = FinderFolders::parse(identifier); folder && Residency::fromSlug(folder->residency)) {
      return {.item = std::make_shared<FolderItem>(folder->residency, folder->path)};
    }
    auto record = currentRecord(bridge, identifier);
    if (!record) return {.error = fp::Error::fileProvider(fp::errorCode::noSuchItem)};
    return {.item = std::make_shared<VaultFileItem>(std::move(*record))};
  } catch (const std::exception& error) {
    return {.error = fileProviderError(error)};
  }
}

}  // namespace

fp::Progress OstrelFileProvider::item(const fp::ItemIdentifier& identifier, const fp::Request&,
                                      fp::ItemCompletion completionHandler) {
  Lookup result = lookUp(*bridge_, identifier);
  completionHandler(std::move(result.item), std::move(result.error));
  return {};
}

}  // namespace ostrel
