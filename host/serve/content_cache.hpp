#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ostrel::host {

// Downloaded file contents of one domain, one file per identifier and
// content version, named so that any identifier is a safe file name. A file
// enters only by an atomic rename, so a reader never sees half of one.
class ContentCache {
 public:
  struct Entry {
    std::string identifier;
    std::string contentVersion;
    std::filesystem::path path;
  };

  // Creates the folder (0700) when it is missing; throws when it cannot.
  explicit ContentCache(std::filesystem::path folder);

  // A read-only descriptor of the cached copy, or -1 when there is none.
  int open(const std::string& identifier, const std::string& contentVersion) const;
  bool contains(const std::string& identifier, const std::string& contentVersion) const;

  // Takes the downloaded file over (it is gone afterwards, whatever
  // happens) and drops older versions of the identifier. Throws
  // std::system_error when the file cannot be moved in.
  std::filesystem::path adopt(const std::string& identifier, const std::string& contentVersion,
                              const std::filesystem::path& downloaded);

  std::vector<Entry> entries() const;
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path pathFor(const std::string& identifier, const std::string& contentVersion) const;

  std::filesystem::path folder_;
};

}  // namespace ostrel::host
