#pragma once

#include <filesystem>
#include <string>

#include "extension/model/finder_folders.hpp"
#include "extension/model/residency.hpp"

namespace ostrel::host {

// The folder below the mount point that a container identifier names, from
// the identifier alone: it must work without a listing, even with the
// companion app gone. Only plain components are kept, so a path made from
// it never leaves the folder it is joined to; "pending" stands for a
// container that is no residency folder.
inline std::filesystem::path displayFolder(const std::string& container) {
  if (auto residency = Residency::fromSlug(container)) return std::string(residency->rawValue());
  if (auto folder = FinderFolders::parse(container)) {
    if (auto residency = Residency::fromSlug(folder->residency)) {
      std::filesystem::path result(std::string(residency->rawValue()));
      for (const auto& part : std::filesystem::path(folder->path)) {
        const std::string name = part.string();
        if (!name.empty() && name != "." && name != ".." && name != "/") result /= part;
      }
      return result;
    }
  }
  return "pending";
}

}  // namespace ostrel::host
