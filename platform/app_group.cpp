#include "platform/app_group.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace ostrel::platform {

std::filesystem::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "/";
}

std::optional<std::filesystem::path> groupContainer(std::string_view appGroup) {
  std::filesystem::path dataHome;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    dataHome = xdg;  // relative values are invalid and ignored
  } else {
    dataHome = homeFolder() / ".local" / "share";
  }
  auto container = dataHome / "group-containers" / std::filesystem::path(appGroup);
  std::error_code ec;
  if (!std::filesystem::is_directory(container, ec)) return std::nullopt;
  return container;
}

}  // namespace ostrel::platform
