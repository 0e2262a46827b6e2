#pragma once

// A DomainMount that records what the serving loop asks of it.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/serve/serve_loop_domains.hpp"

namespace ostrel::testing {

struct FakeMountLog {
  std::mutex lock;
  std::vector<std::string> calls;  // guarded by lock, e.g. "ostrel start"
  std::vector<host::MountSettings> settings;  // guarded by lock
  std::optional<platform::fileprovider::Error> startError;
  bool preserveThrows = false;
  bool preserveNothing = false;

  void record(std::string call) {
    std::lock_guard guard(lock);
    calls.push_back(std::move(call));
  }
  std::vector<std::string> snapshot() {
    std::lock_guard guard(lock);
    return calls;
  }
};

class FakeMount final : public host::DomainMount {
 public:
  FakeMount(std::shared_ptr<FakeMountLog> log, std::string id) : log_(std::move(log)), id_(std::move(id)) {}

  std::optional<platform::fileprovider::Error> start() override {
    log_->record(id_ + " start");
    return log_->startError;
  }
  void stop() override {
    if (!stopped_) log_->record(id_ + " stop");
    stopped_ = true;
  }
  void signalEnumerator(const std::string& container) override { log_->record(id_ + " signal " + container); }
  void errorResolved(const platform::fileprovider::Error& error) override {
    log_->record(id_ + " resolved " + error.domain + " " + std::to_string(error.code));
  }
  std::optional<std::filesystem::path> preserve(platform::fileprovider::RemovalMode mode,
                                                const std::filesystem::path& destination) override {
    log_->record(id_ + " preserve " + std::to_string(static_cast<int>(mode)));
    if (log_->preserveThrows) throw std::runtime_error("disk full");
    if (log_->preserveNothing) return std::nullopt;
    std::filesystem::create_directories(destination);
    return destination;
  }

 private:
  std::shared_ptr<FakeMountLog> log_;
  std::string id_;
  bool stopped_ = false;
};

inline host::MountFactory fakeFactory(std::shared_ptr<FakeMountLog> log) {
  return [log](const platform::fileprovider::Domain& domain, host::MountSettings settings) {
    {
      std::lock_guard guard(log->lock);
      log->settings.push_back(settings);
    }
    return std::make_unique<FakeMount>(log, domain.identifier);
  };
}

}  // namespace ostrel::testing
