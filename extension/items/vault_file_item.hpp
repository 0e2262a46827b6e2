#pragma once

#include "extension/model/vault_records.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel {

// One file of the vault, answered from a copy of its record alone.
class VaultFileItem final : public platform::fileprovider::Item {
 public:
  explicit VaultFileItem(VaultFile file) : file_(std::move(file)) {}

  const VaultFile& file() const { return file_; }

  platform::fileprovider::ItemIdentifier itemIdentifier() const override;
  platform::fileprovider::ItemIdentifier parentItemIdentifier() const override;
  std::string filename() const override;
  std::optional<platform::fileprovider::ContentType> contentType() const override;
  std::optional<std::int64_t> documentSize() const override;
  std::optional<platform::fileprovider::Date> contentModificationDate() const override;
  std::optional<platform::fileprovider::ItemCapabilities> capabilities() const override;
  std::optional<bool> isDownloaded() const override;
  std::optional<bool> isMostRecentVersionDownloaded() const override;
  // Size and modification time: a new version exactly when either changes.
  std::optional<platform::fileprovider::ItemVersion> itemVersion() const override;

 private:
  VaultFile file_;
};

// The text after the last "." of a file name's last component, or nothing.
std::string_view pathExtension(std::string_view filename);

}  // namespace ostrel
