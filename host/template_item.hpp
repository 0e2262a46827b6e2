#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/fileprovider/item.hpp"

namespace ostrel::host {

// An item the host makes itself: the template of a creation, the proposed
// item of a modification, or a new file standing in the folder until it is
// a vault item. Identifiers, a name and, when given, a content type.
class TemplateItem final : public platform::fileprovider::Item {
 public:
  TemplateItem(std::string identifier, std::string parent, std::string filename,
               std::optional<std::string> contentType)
      : identifier_(std::move(identifier)),
        parent_(std::move(parent)),
        filename_(std::move(filename)),
        contentType_(std::move(contentType)) {}

  platform::fileprovider::ItemIdentifier itemIdentifier() const override { return identifier_; }
  platform::fileprovider::ItemIdentifier parentItemIdentifier() const override { return parent_; }
  std::string filename() const override { return filename_; }
  std::optional<platform::fileprovider::ContentType> contentType() const override { return contentType_; }

 private:
  std::string identifier_;
  std::string parent_;
  std::string filename_;
  std::optional<std::string> contentType_;
};

}  // namespace ostrel::host
