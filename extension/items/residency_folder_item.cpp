#include "extension/items/residency_folder_item.hpp"

#include "platform/fileprovider/content_type.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

fp::ItemIdentifier ResidencyFolderItem::itemIdentifier() const { return fp::ItemIdentifier(residency_.slug()); }
fp::ItemIdentifier ResidencyFolderItem::parentItemIdentifier() const {
  return fp::ItemIdentifier(fp::rootContainer);
}
std::string ResidencyFolderItem::filename() const { return std::string(residency_.rawValue()); }
std::optional<fp::ContentType> ResidencyFolderItem::contentType() const {
  return fp::ContentType(fp::contentType::folder);
}
std::optional<fp::ItemCapabilities> ResidencyFolderItem::capabilities() const {
  return fp::ItemCapability::allowsReading | fp::ItemCapability::allowsWriting;
}
std::optional<fp::ItemVersion> ResidencyFolderItem::itemVersion() const { return fp::ItemVersion{"1", "1"}; }

}  // namespace ostrel
