#include "host/serve/stale_mount.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace ostrel::host {

namespace fs = std::filesystem;

namespace {

// Mount points in /proc/self/mountinfo escape space, tab, newline and
// backslash as octal.
std::string unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out.push_back(static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8)));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// Only a FUSE mount is ours to detach; anything else mounted there is left alone.
bool isFuseMountPoint(const fs::path& path) {
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    if (unescape(point) != path.string()) continue;
    auto separator = line.find(" - ");
    if (separator == std::string::npos) continue;
    std::istringstream rest(line.substr(separator + 3));
    std::string type;
    rest >> type;
    if (type.starts_with("fuse")) return true;
  }
  return false;
}

int runFusermount(const fs::path& path) {
  std::vector<std::string> words = {"fusermount3", "-u", "-z", path.string()};
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "fusermount3", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool detachMount(const fs::path& mountPoint) {
  return ::geteuid() == 0 ? ::umount2(mountPoint.c_str(), MNT_DETACH) == 0 : runFusermount(mountPoint) == 0;
}

std::string prepareMountPoint(const fs::path& mountPoint) {
  fs::path path = fs::absolute(mountPoint).lexically_normal();
  if (path.filename().empty()) path = path.parent_path();  // a trailing slash
  // Opening asks the serving process, where a stat may be answered from the
  // kernel's cache; a live mount of another host is not ours to take.
  if (isFuseMountPoint(path)) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
      return path.string() + " is already mounted by a running process";
    }
    if (errno != ENOTCONN && errno != ECONNABORTED) {
      return "cannot look at the mount at " + path.string() + ": " + std::strerror(errno);
    }
    if (!detachMount(path)) return "cannot detach the mount left at " + path.string();
  }
  std::error_code error;
  fs::create_directories(path, error);
  if (error) return "cannot create " + path.string() + ": " + error.message();
  return {};
}

}  // namespace ostrel::host
