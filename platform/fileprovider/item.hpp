#pragma once

// What the host reads of an item.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fileprovider/flags.hpp"

namespace ostrel::platform::fileprovider {

using ItemIdentifier = std::string;

inline constexpr std::string_view rootContainer = "NSFileProviderRootContainerItemIdentifier";
inline constexpr std::string_view workingSetContainer = "NSFileProviderWorkingSetContainerItemIdentifier";
inline constexpr std::string_view trashContainer = "NSFileProviderTrashContainerItemIdentifier";

enum class ItemCapability : std::uint64_t {
  allowsReading = 1 << 0,      // also: content enumerating
  allowsWriting = 1 << 1,      // also: adding sub-items
  allowsReparenting = 1 << 2,
  allowsRenaming = 1 << 3,
  allowsTrashing = 1 << 4,
  allowsDeleting = 1 << 5,
};
template <>
inline constexpr bool isFlagBit<ItemCapability> = true;
using ItemCapabilities = Flags<ItemCapability>;

enum class ItemField : std::uint64_t {
  contents = 1 << 0,
  filename = 1 << 1,
  parentItemIdentifier = 1 << 2,
  lastUsedDate = 1 << 3,
  tagData = 1 << 4,
  favoriteRank = 1 << 5,
  creationDate = 1 << 6,
  contentModificationDate = 1 << 7,
  fileSystemFlags = 1 << 8,
  extendedAttributes = 1 << 9,
  typeAndCreator = 1 << 10,
};
template <>
inline constexpr bool isFlagBit<ItemField> = true;
using ItemFields = Flags<ItemField>;

// Opaque to the host; both are byte strings the extension chooses.
struct ItemVersion {
  std::string contentVersion;
  std::string metadataVersion;

  bool operator==(const ItemVersion&) const = default;
};

// A moment as seconds since 1 January 1970 00:00 UTC.
struct Date {
  double secondsSince1970 = 0;

  bool operator==(const Date&) const = default;
};

// A MIME type name, such as "inode/directory" (see content_type.hpp).
using ContentType = std::string;

// An item as the host sees it. The three identifying properties are
// required; every other property is optional and absent means "the host's
// default". Items are immutable once handed over.
class Item {
 public:
  virtual ~Item() = default;

  virtual ItemIdentifier itemIdentifier() const = 0;
  virtual ItemIdentifier parentItemIdentifier() const = 0;
  virtual std::string filename() const = 0;

  virtual std::optional<ContentType> contentType() const { return std::nullopt; }
  virtual std::optional<std::int64_t> documentSize() const { return std::nullopt; }
  virtual std::optional<Date> contentModificationDate() const { return std::nullopt; }
  virtual std::optional<ItemCapabilities> capabilities() const { return std::nullopt; }
  virtual std::optional<bool> isDownloaded() const { return std::nullopt; }
  virtual std::optional<bool> isMostRecentVersionDownloaded() const { return std::nullopt; }
  virtual std::optional<ItemVersion> itemVersion() const { return std::nullopt; }
};

using ItemPtr = std::shared_ptr<const Item>;

}  // namespace ostrel::platform::fileprovider
