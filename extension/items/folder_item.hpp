#pragma once

#include <string>

#include "platform/fileprovider/item.hpp"

namespace ostrel {

// A sub-folder of a residency folder, at any depth. The vault has no record
// of it; it exists through the files beneath it or because the user just
// created it.
class FolderItem final : public platform::fileprovider::Item {
 public:
  // `residency` is a slug the caller has already checked.
  FolderItem(std::string residency, std::string path) : residency_(std::move(residency)), path_(std::move(path)) {}

  const std::string& residency() const { return residency_; }
  const std::string& path() const { return path_; }

  platform::fileprovider::ItemIdentifier itemIdentifier() const override;
  platform::fileprovider::ItemIdentifier parentItemIdentifier() const override;
  std::string filename() const override;
  std::optional<platform::fileprovider::ContentType> contentType() const override;
  std::optional<platform::fileprovider::ItemCapabilities> capabilities() const override;
  // The path: it changes only when the folder does.
  std::optional<platform::fileprovider::ItemVersion> itemVersion() const override;

 private:
  std::string residency_;
  std::string path_;
};

}  // namespace ostrel
