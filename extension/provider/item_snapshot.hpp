#pragma once

#include "platform/fileprovider/item.hpp"

namespace ostrel {

// A copy of every property another item answers, so an item the host lent
// by reference can be handed back without outliving it.
class ItemSnapshot final : public platform::fileprovider::Item {
 public:
  explicit ItemSnapshot(const platform::fileprovider::Item& item)
      : identifier_(item.itemIdentifier()),
        parent_(item.parentItemIdentifier()),
        filename_(item.filename()),
        contentType_(item.contentType()),
        documentSize_(item.documentSize()),
        modified_(item.contentModificationDate()),
        capabilities_(item.capabilities()),
        downloaded_(item.isDownloaded()),
        latestDownloaded_(item.isMostRecentVersionDownloaded()),
        version_(item.itemVersion()) {}

  platform::fileprovider::ItemIdentifier itemIdentifier() const override { return identifier_; }
  platform::fileprovider::ItemIdentifier parentItemIdentifier() const override { return parent_; }
  std::string filename() const override { return filename_; }
  std::optional<platform::fileprovider::ContentType> contentType() const override { return contentType_; }
  std::optional<std::int64_t> documentSize() const override { return documentSize_; }
  std::optional<platform::fileprovider::Date> contentModificationDate() const override { return modified_; }
  std::optional<platform::fileprovider::ItemCapabilities> capabilities() const override { return capabilities_; }
  std::optional<bool> isDownloaded() const override { return downloaded_; }
  std::optional<bool> isMostRecentVersionDownloaded() const override { return latestDownloaded_; }
  std::optional<platform::fileprovider::ItemVersion> itemVersion() const override { return version_; }

 private:
  platform::fileprovider::ItemIdentifier identifier_;
  platform::fileprovider::ItemIdentifier parent_;
  std::string filename_;
  std::optional<platform::fileprovider::ContentType> contentType_;
  std::optional<std::int64_t> documentSize_;
  std::optional<platform::fileprovider::Date> modified_;
  std::optional<platform::fileprovider::ItemCapabilities> capabilities_;
  std::optional<bool> downloaded_;
  std::optional<bool> latestDownloaded_;
  std::optional<platform::fileprovider::ItemVersion> version_;
};

}  // namespace ostrel
