#pragma once

// Small pieces both halves of the tree (reading and writing) use.

#include <string>

#include "extension/items/vault_file_item.hpp"
#include "host/template_item.hpp"
#include "platform/fileprovider/error.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel::host::tree {

inline constexpr const char* idAttribute = "user.ostrel.id";
inline constexpr const char* residencyAttribute = "user.ostrel.residency";
inline constexpr const char* statusAttribute = "user.ostrel.status";
inline constexpr const char* errorAttribute = "user.ostrel.error";

// What files report as their preferred I/O size: copy tools size their
// buffers by it, and each write through the mount is one request.
inline constexpr long preferredIoSize = 128 << 10;

inline platform::fileprovider::Error contractBroken(const std::string& what) {
  return platform::fileprovider::Error{.domain = "com.ostrel.fphost", .code = 1, .localizedDescription = what};
}

// The user's sentence, or a plain one naming the error.
inline std::string sentenceOf(const platform::fileprovider::Error& error) {
  if (error.localizedDescription && !error.localizedDescription->empty()) return *error.localizedDescription;
  return error.domain + " error " + std::to_string(error.code);
}

inline const VaultFileItem* asFile(const platform::fileprovider::ItemPtr& item) {
  return dynamic_cast<const VaultFileItem*>(item.get());
}

inline std::string contentVersion(const platform::fileprovider::ItemPtr& item) {
  auto version = item->itemVersion();
  return version ? version->contentVersion : std::string();
}

// Files of the pending area stand in the inode table as host-made items;
// everything else there is the extension's.
inline bool isPendingFile(const platform::fileprovider::ItemPtr& item) {
  return dynamic_cast<const TemplateItem*>(item.get()) != nullptr;
}

// A name the kernel can take as one path component.
inline bool usableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace ostrel::host::tree
