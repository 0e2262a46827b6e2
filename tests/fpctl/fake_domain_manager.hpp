#pragma once

// A scripted domain manager: plays whatever the host may answer, when it
// answers (at once, soon on a thread, too late, never), and records what the
// tool asked.

#include <chrono>
#include <latch>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::testing {

namespace fp = platform::fileprovider;

enum class Timing {
  now,    // on the calling thread, before the request returns
  soon,   // on a thread of its own; answers issued together run together
  late,   // on a thread of its own, after the tool stopped waiting
  never,  // the completion is dropped
};

struct Reply {
  std::optional<fp::Error> error{};
  Timing timing = Timing::soon;
};

struct RemovalReply {
  std::optional<std::string> preservedAt{};
  std::optional<fp::Error> error{};
  Timing timing = Timing::soon;
};

struct HostScript {
  std::vector<std::string> domains{};  // identifiers, as listed
  Timing listTiming = Timing::soon;
  Reply add{};
  std::vector<RemovalReply> removals{};  // one per removal, in request order
  bool hasManager = true;
  Reply resolve{};
  std::map<std::string, Reply> signals{};  // by container; others succeed soon
};

// What the tool asked, in order.
struct HostRecord {
  std::vector<std::string> calls{};  // "list", "add ostrel/Ostrel", "remove ostrel 2", ...
  std::vector<fp::Error> resolved{};
  std::vector<std::string> signalled{};
};

class FakeDomainManager final : public fp::DomainManager {
 public:
  // `lateBy` must exceed the wait of the tool under test.
  FakeDomainManager(HostScript script, std::chrono::milliseconds lateBy);
  ~FakeDomainManager() override;  // joins every answer still on its way

  void getDomains(fp::DomainsCompletion completion) override;
  void addDomain(const fp::Domain& domain, fp::ErrorCompletion completion) override;
  void removeDomain(const fp::Domain& domain, fp::RemovalMode mode,
                    fp::RemovalCompletion completion) override;
  std::shared_ptr<fp::DomainScopedManager> managerForDomain(const fp::Domain& domain) override;

  HostRecord record();

  // Used by the scoped manager.
  void resolve(const fp::Error& error, fp::ErrorCompletion completion);
  void signal(const std::string& container, fp::ErrorCompletion completion);

 private:
  template <typename Call>
  void answer(Timing timing, std::shared_ptr<std::latch> gate, Call call);
  void note(std::string call);

  HostScript script_;
  std::chrono::milliseconds lateBy_;
  std::shared_ptr<std::latch> removalGate_;
  std::shared_ptr<std::latch> signalGate_;
  std::mutex lock_;
  HostRecord record_;                 // guarded by lock_
  std::size_t removalIndex_ = 0;      // guarded by lock_
  std::vector<std::thread> threads_;  // guarded by lock_
};

}  // namespace ostrel::testing
