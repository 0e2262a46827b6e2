#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::platform::fileprovider {

// The domain manager of `ostrel-fphost serve`, reached over its control
// socket. Each request runs on a thread of its own and calls its completion
// there exactly once: with the host's answer, or with an error of
// kControlSocketErrorDomain when no host answers within `timeout`.
class ControlSocketClient final : public DomainManager {
 public:
  // Called when no host listens at the socket; true once one does, so the
  // request is sent once more. Must return by the deadline it is given.
  using HostStarter = std::function<bool(std::chrono::steady_clock::time_point deadline)>;

  ControlSocketClient(std::filesystem::path socket, std::chrono::duration<double> timeout,
                      HostStarter startHost = nullptr);
  // Waits for the requests still running; each ends by its timeout.
  ~ControlSocketClient() override;
  ControlSocketClient(const ControlSocketClient&) = delete;
  ControlSocketClient& operator=(const ControlSocketClient&) = delete;

  void getDomains(DomainsCompletion completion) override;
  void addDomain(const Domain& domain, ErrorCompletion completion) override;
  void removeDomain(const Domain& domain, RemovalMode mode, RemovalCompletion completion) override;
  std::shared_ptr<DomainScopedManager> managerForDomain(const Domain& domain) override;

  // Sends a request off the calling thread; `handle` gets the reply line or
  // the failure.
  void send(std::string request, std::function<void(std::variant<std::string, Error>)> handle);

 private:
  std::filesystem::path socket_;
  std::chrono::duration<double> timeout_;
  HostStarter startHost_;
  std::mutex threadsLock_;
  std::vector<std::thread> threads_;  // guarded by threadsLock_
};

}  // namespace ostrel::platform::fileprovider
