#include "fpctl/host_start.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/app_group.hpp"
#include "platform/files.hpp"

namespace ostrel::fpctl {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool accepts(const fs::path& socket) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket.native().size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socket.c_str(), socket.native().size() + 1);
  platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return fd && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// In a session of its own, so the host outlives the terminal and the tool.
// Once the tool has exited the host is not its child any more; until then
// the tool reaps it if it ends.
pid_t launch(const fs::path& host, const fs::path& log) {
  std::error_code ec;
  fs::create_directories(log.parent_path(), ec);
  // Everything the child needs is prepared here: after fork only
  // async-signal-safe calls are allowed.
  std::string program = host.string();
  std::string logText = log.string();
  char serve[] = "serve";
  char* argv[] = {program.data(), serve, nullptr};

  pid_t child = ::fork();
  if (child != 0) return child;
  ::setsid();
  int in = ::open("/dev/null", O_RDONLY);
  int out = ::open(logText.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (in >= 0) ::dup2(in, STDIN_FILENO);
  if (out >= 0) {
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
  }
  ::execv(argv[0], argv);
  ::_exit(127);
}

bool exited(pid_t pid) {
  int status = 0;
  pid_t reaped = ::waitpid(pid, &status, WNOHANG);
  return reaped == pid || (reaped < 0 && errno == ECHILD);
}

struct Launcher {
  fs::path host, socket, log;
  std::chrono::milliseconds patience;
  std::mutex lock;
  std::optional<Clock::time_point> launchedUntil;  // guarded by lock; set by the first launch
  pid_t child = -1;                                 // guarded by lock

  bool ensure(Clock::time_point deadline) {
    std::lock_guard guard(lock);
    if (!launchedUntil) {
      if (host.empty() || ::access(host.c_str(), X_OK) != 0) return false;
      child = launch(host, log);
      if (child < 0) return false;
      launchedUntil = Clock::now() + patience;
    }
    Clock::time_point until = std::min(*launchedUntil, deadline);
    while (!accepts(socket)) {
      if (Clock::now() >= until) return false;
      // A host that is still shutting down holds the socket's lock a moment
      // longer, and the new one gives up; start another until one stays.
      if (child > 0 && exited(child)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        child = launch(host, log);
        continue;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return true;
  }
};

}  // namespace

fs::path siblingHost() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  fs::path host = self.parent_path() / "ostrel-fphost";
  return ::access(host.c_str(), X_OK) == 0 ? host : fs::path();
}

fs::path hostLogPath() {
  fs::path state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
    state = xdg;
  } else {
    state = platform::homeFolder() / ".local" / "state";
  }
  return state / "ostrel" / "fphost.log";
}

std::function<bool(Clock::time_point)> hostStarter(fs::path host, fs::path socket, fs::path log,
                                                   std::chrono::milliseconds patience) {
  auto launcher = std::make_shared<Launcher>();
  launcher->host = std::move(host);
  launcher->socket = std::move(socket);
  launcher->log = std::move(log);
  launcher->patience = patience;
  return [launcher](Clock::time_point deadline) { return launcher->ensure(deadline); };
}

}  // namespace ostrel::fpctl
