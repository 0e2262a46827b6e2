#pragma once

// Content types are MIME type names from the freedesktop shared-mime-info
// database.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileprovider/item.hpp"

namespace ostrel::platform::fileprovider {

namespace contentType {
inline constexpr std::string_view folder = "inode/directory";
inline constexpr std::string_view data = "application/octet-stream";
}  // namespace contentType

class MimeDatabase {
 public:
  // The system's database under /usr/share/mime, read once on first use;
  // safe to use from any thread.
  static const MimeDatabase& shared();

  // globs2, subclasses and aliases of one database folder; a missing file
  // contributes nothing.
  static MimeDatabase load(const std::filesystem::path& folder);

  // The type registered for "*.<extension>" that conforms to generic data,
  // preferring the highest weight and then the earlier line. Matching is
  // case-insensitive unless the glob is marked case-sensitive.
  std::optional<ContentType> typeForExtension(std::string_view extension) const;

  // `type` is `supertype`, an alias of it, or a subclass at any depth. Every
  // type outside inode/ conforms to generic data.
  bool conforms(std::string_view type, std::string_view supertype) const;

 private:
  struct Glob {
    int weight = 0;
    std::size_t line = 0;
    std::string type;
  };
  const Glob* bestGlob(const std::map<std::string, std::vector<Glob>, std::less<>>& globs,
                       std::string_view key, const Glob* best) const;
  std::string canonical(std::string_view type) const;

  std::map<std::string, std::vector<Glob>, std::less<>> caseInsensitive_;  // key in lower case
  std::map<std::string, std::vector<Glob>, std::less<>> caseSensitive_;
  std::map<std::string, std::vector<std::string>, std::less<>> parents_;
  std::map<std::string, std::string, std::less<>> aliases_;
};

// The system database's type for a file-name extension, if any.
std::optional<ContentType> typeForExtension(std::string_view extension);
// `type` conforms to `supertype` in the system database.
bool conforms(std::string_view type, std::string_view supertype);

}  // namespace ostrel::platform::fileprovider
