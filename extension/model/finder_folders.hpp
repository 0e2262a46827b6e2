#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.hpp"

namespace ostrel {

// A sub-folder named by its residency slug and its path inside that
// residency's folder.
struct FolderRef {
  std::string residency;
  std::string path;

  bool operator==(const FolderRef&) const = default;
};

// How sub-folders are named among the host's item identifiers: residency
// folders are their slugs, files their vault ids, and sub-folders
// "dir:" + slug + "/" + path. Pure functions, no state.
class FinderFolders {
 public:
  FinderFolders() = delete;

  static constexpr std::string_view prefix = "dir:";

  // Non-empty, not "." or "..", no "/".
  static bool validName(std::string_view name);
  // Begins with ".".
  static bool isHidden(std::string_view name);

  static std::string identifier(std::string_view residency, std::string_view path);
  static std::optional<FolderRef> parse(std::string_view identifier);
  static std::string join(std::string_view parentPath, std::string_view name);
  static std::string parentIdentifier(std::string_view residency, std::string_view path);
  static std::string fileParent(std::string_view residency, std::string_view folder);

  // Full paths of the immediate sub-folders of `parentPath` among the folder
  // paths `paths`, without duplicates, in canonical text order.
  static std::vector<std::string> childFolders(std::string_view parentPath,
                                               const std::vector<std::string_view>& paths);

  static platform::Sha256Digest anchorDigest(std::string_view text);
};

}  // namespace ostrel
