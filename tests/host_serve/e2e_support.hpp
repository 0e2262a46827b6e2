#pragma once

// What the end-to-end tests of the real binaries share: waiting for the
// background, and finding the host behind the control socket.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace ostrel::testing {

// Waits until `condition` holds, up to `limit`.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(15)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

inline bool mounted(const std::filesystem::path& path) {
  struct stat inside {}, outside {};
  return ::stat(path.c_str(), &inside) == 0 && ::stat(path.parent_path().c_str(), &outside) == 0 &&
         inside.st_dev != outside.st_dev;
}

// Gone, or a zombie that nobody reaps: either way it holds no lock any more.
inline bool exited(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  if (!(stat >> pidText >> name >> state)) return true;
  return state == "Z" || state == "X";
}

// The process listening on the control socket, or -1.
inline pid_t listenerOf(const std::filesystem::path& socket) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  pid_t pid = -1;
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0) {
    pid = peer.pid;
  }
  ::close(fd);
  return pid;
}

// A home of its own under `dir` (HOME and the four XDG folders point into
// it) with the tool and the host installed where the tool accepts to run;
// the folder holding both.
inline std::filesystem::path isolatedInstall(const std::filesystem::path& dir, const std::filesystem::path& tool,
                                             const std::filesystem::path& host) {
  std::filesystem::remove_all(dir);
  // Copies, not links: the tool judges and finds its sibling by resolved path.
  std::filesystem::path bundle = dir / "Applications" / "Ostrel.app" / "Contents" / "MacOS";
  std::filesystem::create_directories(bundle);
  std::filesystem::copy_file(tool, bundle / "ostrel-fpctl");
  std::filesystem::copy_file(host, bundle / "ostrel-fphost");
  ::setenv("HOME", dir.c_str(), 1);
  for (const char* var : {"XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
    ::setenv(var, (dir / var).c_str(), 1);
  }
  return bundle;
}

}  // namespace ostrel::testing
