#include "extension/items/vault_file_item.hpp"

#include "extension/items/double_text.hpp"
#include "extension/model/finder_folders.hpp"
#include "platform/fileprovider/content_type.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

std::string_view pathExtension(std::string_view filename) {
  auto end = filename.find_last_not_of('/');
  if (end == std::string_view::npos) return {};
  filename = filename.substr(0, end + 1);
  auto slash = filename.rfind('/');
  if (slash != std::string_view::npos) filename.remove_prefix(slash + 1);
  auto dot = filename.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : filename.substr(dot + 1);
}

fp::ItemIdentifier VaultFileItem::itemIdentifier() const { return file_.id; }

fp::ItemIdentifier VaultFileItem::parentItemIdentifier() const {
  return FinderFolders::fileParent(file_.residency, file_.folder.value_or(std::string()));
}

std::string VaultFileItem::filename() const { return file_.filename; }

std::optional<fp::ContentType> VaultFileItem::contentType() const {
  if (auto type = fp::typeForExtension(pathExtension(file_.filename))) return type;
  return fp::ContentType(fp::contentType::data);
}

std::optional<std::int64_t> VaultFileItem::documentSize() const { return file_.size; }

std::optional<fp::Date> VaultFileItem::contentModificationDate() const { return fp::Date{file_.modifiedAt}; }

std::optional<fp::ItemCapabilities> VaultFileItem::capabilities() const {
  return fp::ItemCapability::allowsReading | fp::ItemCapability::allowsReparenting;
}

std::optional<bool> VaultFileItem::isDownloaded() const { return file_.materialized; }
std::optional<bool> VaultFileItem::isMostRecentVersionDownloaded() const { return file_.materialized; }

std::optional<fp::ItemVersion> VaultFileItem::itemVersion() const {
  std::string version = std::to_string(file_.size) + "-" + doubleText(file_.modifiedAt);
  return fp::ItemVersion{version, version};
}

}  // namespace ostrel
