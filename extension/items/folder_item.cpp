#include "extension/items/folder_item.hpp"

#include <string_view>

#include "extension/model/finder_folders.hpp"
#include "platform/fileprovider/content_type.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

fp::ItemIdentifier FolderItem::itemIdentifier() const { return FinderFolders::identifier(residency_, path_); }

fp::ItemIdentifier FolderItem::parentItemIdentifier() const {
  return FinderFolders::parentIdentifier(residency_, path_);
}

std::string FolderItem::filename() const {
  // The last non-empty component; a path of nothing but "/" names itself.
  std::string_view path = path_;
  auto end = path.find_last_not_of('/');
  if (end == std::string_view::npos) return path_;
  path = path.substr(0, end + 1);
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<fp::ContentType> FolderItem::contentType() const { return fp::ContentType(fp::contentType::folder); }

std::optional<fp::ItemCapabilities> FolderItem::capabilities() const {
  return fp::ItemCapability::allowsReading | fp::ItemCapability::allowsWriting;
}

std::optional<fp::ItemVersion> FolderItem::itemVersion() const { return fp::ItemVersion{path_, path_}; }

}  // namespace ostrel
