#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::fpctl {

struct LocationVerdict {
  bool eligible = false;
  std::optional<std::string> reason{};  // absent exactly when eligible

  bool operator==(const LocationVerdict&) const = default;
};

// The application bundle holding an executable: the nearest ancestor folder
// of its resolved path whose name ends in ".app", else the folder it lies in.
std::filesystem::path bundlePathOf(const std::filesystem::path& executable);

// Judges a resolved bundle path. `homes` are the user's home folder as given
// and as resolved, so a home reached through a symbolic link still counts.
LocationVerdict judgeLocation(const std::string& location, const std::vector<std::string>& homes);

// The verdict on the running tool's own bundle.
LocationVerdict locationCheck();

}  // namespace ostrel::fpctl
