#pragma once

#include "extension/model/residency.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel {

// One of the three folders in the root, named by its residency's display
// name and identified by its slug.
class ResidencyFolderItem final : public platform::fileprovider::Item {
 public:
  explicit ResidencyFolderItem(Residency residency) : residency_(residency) {}

  Residency residency() const { return residency_; }

  platform::fileprovider::ItemIdentifier itemIdentifier() const override;
  platform::fileprovider::ItemIdentifier parentItemIdentifier() const override;
  std::string filename() const override;
  std::optional<platform::fileprovider::ContentType> contentType() const override;
  std::optional<platform::fileprovider::ItemCapabilities> capabilities() const override;
  std::optional<platform::fileprovider::ItemVersion> itemVersion() const override;

 private:
  Residency residency_;
};

}  // namespace ostrel
