#include "platform/fileprovider/control_socket.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/files.hpp"

namespace ostrel::platform::fileprovider {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxReplyBytes = 1 << 20;

std::string osText(int code) { return std::error_code(code, std::generic_category()).message(); }

Error failure(int code, std::string description) {
  return {kControlSocketErrorDomain, code, std::move(description)};
}

Error noHost(const std::filesystem::path& socket, int code) {
  return failure(code, "no file-provider host is listening at " + socket.string() + " (" +
                           osText(code) + "); start it with \u201Costrel-fphost serve\u201D");
}

Error timedOut(const std::filesystem::path& socket) {
  return failure(ETIMEDOUT, "the file-provider host at " + socket.string() + " did not answer in time");
}

// Milliseconds left until the deadline, 0 once it passed.
int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

// False once the deadline passed without the descriptor becoming ready.
bool awaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    int ms = remainingMs(deadline);
    if (ms == 0) return false;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, ms);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // let the next call report it
  }
}

std::variant<UniqueFd, Error> connectTo(const std::filesystem::path& socket,
                                             Clock::time_point deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string& text = socket.native();
  if (text.size() >= sizeof(address.sun_path)) {
    return failure(ENAMETOOLONG, "the control socket path is too long: " + text);
  }
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);

  // Talk only to a socket of our own user, never to whatever else sits there.
  struct stat info {};
  if (::lstat(text.c_str(), &info) != 0) return noHost(socket, errno);
  if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
    return failure(EACCES, "refusing " + text + ": not a socket owned by this user");
  }

  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return failure(errno, std::string("cannot create a socket: ") + osText(errno));
  for (;;) {
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {  // the host's backlog is full: it is busy, not absent
      if (remainingMs(deadline) == 0) return timedOut(socket);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (errno == EINPROGRESS) {
      if (!awaitReady(fd.get(), POLLOUT, deadline)) return timedOut(socket);
      int error = 0;
      socklen_t length = sizeof(error);
      ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
      if (error != 0) return noHost(socket, error);
      break;
    }
    return noHost(socket, errno);
  }

  ucred peer{};
  socklen_t length = sizeof(peer);
  if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
      peer.uid != ::geteuid()) {
    return failure(EACCES, "refusing " + text + ": the listening process belongs to another user");
  }
  return fd;
}

std::optional<Error> sendAll(int fd, std::string_view bytes, const std::filesystem::path& socket,
                                 Clock::time_point deadline) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      if (!awaitReady(fd, POLLOUT, deadline)) return timedOut(socket);
      continue;
    }
    return failure(errno, "the file-provider host closed the connection: " +
                              osText(errno));
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path controlSocketPath() {
  std::filesystem::path runtime;
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg == '/') {
    runtime = xdg;
  } else {
    runtime = "/run/user/" + std::to_string(::geteuid());
  }
  return runtime / "ostrel" / "fphost.sock";
}

std::variant<std::string, Error> exchange(const std::filesystem::path& socket,
                                              const std::string& request,
                                              Clock::time_point deadline) {
  auto connected = connectTo(socket, deadline);
  if (auto* error = std::get_if<Error>(&connected)) return *error;
  UniqueFd fd = std::move(std::get<UniqueFd>(connected));

  if (auto error = sendAll(fd.get(), request + "\n", socket, deadline)) return *error;

  std::string reply;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::recv(fd.get(), buffer, sizeof(buffer), 0);
    if (n > 0) {
      reply.append(buffer, static_cast<size_t>(n));
      if (auto end = reply.find('\n'); end != std::string::npos) {
        reply.resize(end);
        return reply;
      }
      if (reply.size() > kMaxReplyBytes) {
        return failure(EMSGSIZE, "the file-provider host sent a reply over 1 MiB");
      }
      continue;
    }
    if (n == 0) {
      return failure(EPROTO, "the file-provider host closed the connection without a full reply");
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      if (!awaitReady(fd.get(), POLLIN, deadline)) return timedOut(socket);
      continue;
    }
    return failure(errno, "reading the file-provider host's reply failed: " +
                              osText(errno));
  }
}

}  // namespace ostrel::platform::fileprovider
