#include "host/serve/control_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "host/serve/control_server_requests.hpp"
#include "platform/fileprovider/control_socket.hpp"
#include "platform/log.hpp"

namespace ostrel::host {
namespace fs = std::filesystem;
using platform::UniqueFd;
using platform::fileprovider::Error;
using Clock = std::chrono::steady_clock;

namespace {

Error failure(int code, std::string description) {
  return {platform::fileprovider::kControlSocketErrorDomain, code,
          std::move(description) + " (" + std::error_code(code, std::generic_category()).message() + ")"};
}

// The socket's folder exists, is ours and only ours.
std::optional<Error> ownFolder(const fs::path& folder) {
  // A missing runtime folder (no session manager made it) is made private too.
  if (::mkdir(folder.parent_path().c_str(), 0700) != 0 && errno != EEXIST) {
    return failure(errno, "cannot create " + folder.parent_path().string());
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return failure(errno, "cannot create " + folder.string());
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return failure(errno, "cannot inspect " + folder.string());
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    return failure(EACCES, "refusing " + folder.string() + ": not a folder owned by this user");
  }
  if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
    return failure(errno, "cannot restrict " + folder.string());
  }
  return std::nullopt;
}

bool sendAll(int fd, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return false;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left));
  }
  return true;
}

enum class ReadResult { line, closed, timedOut, tooLong };

ReadResult readLine(int fd, std::string& out, std::size_t limit, Clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReadResult::timedOut;
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
    if (ready < 0 && errno != EINTR) return ReadResult::closed;
    if (ready <= 0) continue;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return ReadResult::closed;
    }
    if (n == 0) return ReadResult::closed;
    out.append(buffer, static_cast<std::size_t>(n));
    if (auto end = out.find('\n'); end != std::string::npos) {
      if (end > limit) return ReadResult::tooLong;
      out.resize(end);
      if (!out.empty() && out.back() == '\r') out.pop_back();
      return ReadResult::line;
    }
    if (out.size() > limit) return ReadResult::tooLong;
  }
}

}  // namespace

std::variant<std::unique_ptr<ControlServer>, Error> ControlServer::listen(ControlServerSettings settings,
                                                                          Answer answer) {
  if (settings.allowedUid == static_cast<uid_t>(-1)) settings.allowedUid = ::geteuid();
  const fs::path& socket = settings.socket;
  if (auto error = ownFolder(socket.parent_path())) return *error;

  // A lock beside the socket, not a probe of the socket, decides who serves:
  // two servers starting together cannot both win.
  fs::path lockPath = socket;
  lockPath += ".lock";
  UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock) return failure(errno, "cannot open " + lockPath.string());
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return failure(EADDRINUSE, "another ostrel-fphost serve is already listening at " + socket.string());
    }
    return failure(errno, "cannot lock " + lockPath.string());
  }

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket.native().size() >= sizeof(address.sun_path)) {
    return failure(ENAMETOOLONG, "the control socket path is too long: " + socket.string());
  }
  std::memcpy(address.sun_path, socket.c_str(), socket.native().size() + 1);

  // Holding the lock, whatever lies at the path is stale.
  if (::unlink(socket.c_str()) != 0 && errno != ENOENT) {
    return failure(errno, "cannot remove the stale socket " + socket.string());
  }
  UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener) return failure(errno, "cannot create a socket");
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return failure(errno, "cannot bind " + socket.string());
  }
  if (::chmod(socket.c_str(), 0600) != 0 || ::listen(listener.get(), 64) != 0) {
    int code = errno;
    ::unlink(socket.c_str());
    return failure(code, "cannot listen at " + socket.string());
  }
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake) {
    int code = errno;
    ::unlink(socket.c_str());
    return failure(code, "cannot create an eventfd");
  }
  return std::unique_ptr<ControlServer>(new ControlServer(std::move(settings), std::move(answer),
                                                          std::move(lock), std::move(listener),
                                                          std::move(wake)));
}

ControlServer::ControlServer(ControlServerSettings settings, Answer answer, UniqueFd lock,
                             UniqueFd listener, UniqueFd wake)
    : settings_(std::move(settings)),
      answer_(std::move(answer)),
      lock_(std::move(lock)),
      listener_(std::move(listener)),
      wake_(std::move(wake)) {
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ControlServer::~ControlServer() { stop(); }

void ControlServer::stop() {
  std::call_once(stopped_, [this] {
    std::uint64_t one = 1;
    (void)!::write(wake_.get(), &one, sizeof one);
    if (acceptor_.joinable()) acceptor_.join();
    std::list<Connection> connections;
    {
      std::lock_guard lock(connectionsLock_);
      connections.swap(connections_);
    }
    for (Connection& connection : connections) connection.thread.join();
    ::unlink(settings_.socket.c_str());
    listener_ = UniqueFd();
  });
}

void ControlServer::reapFinished() {
  std::lock_guard lock(connectionsLock_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->done.load()) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void ControlServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    int ready = ::poll(fds, 2, 1000);
    reapFinished();
    if (ready < 0 && errno != EINTR) {
      platform::providerLog().error("the control socket failed: {}", std::strerror(errno));
      return;
    }
    if (fds[1].revents != 0) return;
    if (ready <= 0 || (fds[0].revents & POLLIN) == 0) continue;

    UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!connection) continue;

    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(connection.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != settings_.allowedUid) {
      platform::providerLog().warn("refused a control connection from user {}", peer.uid);
      continue;  // closed without a reply
    }

    std::lock_guard lock(connectionsLock_);
    if (connections_.size() >= settings_.maxConnections) {
      sendAll(connection.get(),
              errorReply({platform::fileprovider::kControlSocketErrorDomain, EBUSY,
                          "the file-provider host is busy; try again"}) + "\n",
              Clock::now() + std::chrono::milliseconds(100));
      continue;
    }
    Connection& slot = connections_.emplace_back();
    slot.thread = std::thread([this, &slot, fd = connection.release()]() mutable {
      serve(UniqueFd(fd));
      slot.done.store(true);
    });
  }
}

void ControlServer::serve(UniqueFd connection) {
  std::string request;
  auto deadline = Clock::now() + settings_.readDeadline;
  std::string reply;
  switch (readLine(connection.get(), request, settings_.maxRequestBytes, deadline)) {
    case ReadResult::line:
      try {
        reply = answer_(request);
      } catch (const std::exception& e) {
        reply = errorReply(Error::fromException(e));
      }
      break;
    case ReadResult::tooLong:
      reply = errorReply({platform::fileprovider::kControlSocketErrorDomain, EMSGSIZE,
                          "the request exceeds " + std::to_string(settings_.maxRequestBytes) + " bytes"});
      break;
    case ReadResult::timedOut:
      reply = errorReply({platform::fileprovider::kControlSocketErrorDomain, ETIMEDOUT,
                          "no complete request line arrived in time"});
      break;
    case ReadResult::closed:
      return;
  }
  sendAll(connection.get(), reply + "\n", Clock::now() + settings_.readDeadline);
}

}  // namespace ostrel::host
