#pragma once

// The listening end of the control socket: same-user connections only, one
// request line and one reply line each, several connections at once.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

#include "platform/fileprovider/error.hpp"
#include "platform/files.hpp"

namespace ostrel::host {

struct ControlServerSettings {
  std::filesystem::path socket{};
  // A client that has not sent its whole line by then is dropped.
  std::chrono::milliseconds readDeadline{5000};
  std::size_t maxRequestBytes{1 << 20};
  std::size_t maxConnections{32};  // beyond this, a connection is answered "busy"
  uid_t allowedUid{static_cast<uid_t>(-1)};  // -1: the server's own user
};

class ControlServer {
 public:
  // Takes a request line, returns the reply line; must not throw.
  using Answer = std::function<std::string(std::string_view)>;

  // EADDRINUSE when another server holds the socket; other errno values when
  // the folder or the socket cannot be made ours.
  static std::variant<std::unique_ptr<ControlServer>, platform::fileprovider::Error> listen(
      ControlServerSettings settings, Answer answer);

  // Stops accepting, waits for the connections in progress, removes the socket.
  ~ControlServer();
  void stop();

  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

 private:
  ControlServer(ControlServerSettings settings, Answer answer, platform::UniqueFd lock,
                platform::UniqueFd listener, platform::UniqueFd wake);
  void acceptLoop();
  void serve(platform::UniqueFd connection);
  void reapFinished();

  struct Connection {
    std::thread thread{};
    std::atomic<bool> done{false};
  };

  ControlServerSettings settings_;
  Answer answer_;
  platform::UniqueFd lock_;      // flock held while serving: the one-server guarantee
  platform::UniqueFd listener_;
  platform::UniqueFd wake_;      // eventfd that ends the accept loop
  std::once_flag stopped_;
  std::thread acceptor_;
  std::mutex connectionsLock_;
  std::list<Connection> connections_;  // guarded by connectionsLock_
};

}  // namespace ostrel::host
