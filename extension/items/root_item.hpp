#pragma once

#include "platform/fileprovider/item.hpp"

namespace ostrel {

// The domain root: its own parent, listing the three residency folders.
class RootItem final : public platform::fileprovider::Item {
 public:
  RootItem() = default;

  platform::fileprovider::ItemIdentifier itemIdentifier() const override;
  platform::fileprovider::ItemIdentifier parentItemIdentifier() const override;
  std::string filename() const override;
  std::optional<platform::fileprovider::ContentType> contentType() const override;
  std::optional<platform::fileprovider::ItemCapabilities> capabilities() const override;
  std::optional<platform::fileprovider::ItemVersion> itemVersion() const override;
};

}  // namespace ostrel
