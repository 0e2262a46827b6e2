#include "fpctl/location.hpp"

#include <system_error>

#include "platform/app_group.hpp"

namespace ostrel::fpctl {
namespace fs = std::filesystem;
namespace {

fs::path resolved(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  if (!ec) return real;
  real = fs::weakly_canonical(path, ec);
  return ec ? path.lexically_normal() : real;
}

std::string withoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

fs::path bundlePathOf(const fs::path& executable) {
  fs::path exe = resolved(executable);
  fs::path folder = exe.parent_path();
  for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
    if (p.filename().string().ends_with(".app")) return p;
    if (p == p.root_path()) break;
  }
  return folder;
}

LocationVerdict judgeLocation(const std::string& location, const std::vector<std::string>& homes) {
  if (location.starts_with("/Applications/")) return {true, std::nullopt};
  for (const std::string& home : homes) {
    if (location.starts_with(withoutTrailingSlashes(home) + "/Applications/")) {
      return {true, std::nullopt};
    }
  }
  if (location.starts_with("/Volumes/")) {
    return {false,
            "Ostrel is running from the disk image. Drag Ostrel to your Applications folder "
            "and open it from there."};
  }
  return {false,
          "Ostrel must be in your Applications folder for the Ostrel folder in Finder to work. "
          "It is currently in " +
              fs::path(location).parent_path().string() + "."};
}

LocationVerdict locationCheck() {
  fs::path home = platform::homeFolder();
  std::vector<std::string> homes{home.string()};
  if (std::string real = resolved(home).string(); real != withoutTrailingSlashes(home.string())) {
    homes.push_back(real);
  }
  return judgeLocation(bundlePathOf("/proc/self/exe").string(), homes);
}

}  // namespace ostrel::fpctl
