#include "tests/fpctl/fake_domain_manager.hpp"

#include <algorithm>

namespace ostrel::testing {
namespace {

class FakeScopedManager final : public fp::DomainScopedManager {
 public:
  explicit FakeScopedManager(FakeDomainManager& host) : host_(host) {}
  void signalErrorResolved(const fp::Error& error, fp::ErrorCompletion completion) override {
    host_.resolve(error, std::move(completion));
  }
  void signalEnumerator(const std::string& container, fp::ErrorCompletion completion) override {
    host_.signal(container, std::move(completion));
  }

 private:
  FakeDomainManager& host_;
};

// A gate for the answers that come soon, so that they run at the same moment.
std::shared_ptr<std::latch> gateFor(std::ptrdiff_t soon) {
  return soon > 1 ? std::make_shared<std::latch>(soon) : nullptr;
}

}  // namespace

FakeDomainManager::FakeDomainManager(HostScript script, std::chrono::milliseconds lateBy)
    : script_(std::move(script)), lateBy_(lateBy) {
  removalGate_ = gateFor(std::count_if(script_.removals.begin(), script_.removals.end(),
                                       [](const RemovalReply& r) { return r.timing == Timing::soon; }));
  std::ptrdiff_t soonSignals = 4;
  for (const auto& [container, reply] : script_.signals) {
    if (reply.timing != Timing::soon) --soonSignals;
  }
  signalGate_ = gateFor(soonSignals);
}

FakeDomainManager::~FakeDomainManager() {
  std::vector<std::thread> threads;
  {
    std::lock_guard guard(lock_);
    threads.swap(threads_);
  }
  for (auto& thread : threads) thread.join();
}

template <typename Call>
void FakeDomainManager::answer(Timing timing, std::shared_ptr<std::latch> gate, Call call) {
  switch (timing) {
    case Timing::now:
      call();
      return;
    case Timing::never:
      return;
    case Timing::soon:
    case Timing::late: {
      auto delay = timing == Timing::late ? lateBy_ : std::chrono::milliseconds(0);
      std::lock_guard guard(lock_);
      threads_.emplace_back([gate = timing == Timing::soon ? gate : nullptr, delay, call] {
        if (gate) gate->arrive_and_wait();
        std::this_thread::sleep_for(delay);
        call();
      });
      return;
    }
  }
}

void FakeDomainManager::note(std::string call) {
  std::lock_guard guard(lock_);
  record_.calls.push_back(std::move(call));
}

HostRecord FakeDomainManager::record() {
  std::lock_guard guard(lock_);
  return record_;
}

void FakeDomainManager::getDomains(fp::DomainsCompletion completion) {
  note("list");
  std::vector<fp::Domain> domains;
  for (const auto& id : script_.domains) domains.push_back({id, id});
  // The tool ignores a listing's error; the fake sends one along to prove it.
  std::optional<fp::Error> error;
  if (domains.empty()) error = fp::Error{"NSCocoaErrorDomain", 4, "listing failed"};
  answer(script_.listTiming, nullptr,
         [completion, domains, error] { completion(domains, error); });
}

void FakeDomainManager::addDomain(const fp::Domain& domain, fp::ErrorCompletion completion) {
  note("add " + domain.identifier + "/" + domain.displayName);
  answer(script_.add.timing, nullptr,
         [completion, error = script_.add.error] { completion(error); });
}

void FakeDomainManager::removeDomain(const fp::Domain& domain, fp::RemovalMode mode,
                                     fp::RemovalCompletion completion) {
  note("remove " + domain.identifier + " " + std::to_string(static_cast<int>(mode)));
  RemovalReply reply;
  {
    std::lock_guard guard(lock_);
    if (removalIndex_ < script_.removals.size()) reply = script_.removals[removalIndex_++];
  }
  answer(reply.timing, removalGate_, [completion, reply] {
    std::optional<std::filesystem::path> at;
    if (reply.preservedAt) at = *reply.preservedAt;
    completion(at, reply.error);
  });
}

std::shared_ptr<fp::DomainScopedManager> FakeDomainManager::managerForDomain(
    const fp::Domain& domain) {
  note("manager " + domain.identifier);
  if (!script_.hasManager) return nullptr;
  return std::make_shared<FakeScopedManager>(*this);
}

void FakeDomainManager::resolve(const fp::Error& error, fp::ErrorCompletion completion) {
  {
    std::lock_guard guard(lock_);
    record_.calls.push_back("resolve");
    record_.resolved.push_back(error);
  }
  answer(script_.resolve.timing, nullptr,
         [completion, reply = script_.resolve.error] { completion(reply); });
}

void FakeDomainManager::signal(const std::string& container, fp::ErrorCompletion completion) {
  {
    std::lock_guard guard(lock_);
    record_.calls.push_back("signal");
    record_.signalled.push_back(container);
  }
  Reply reply;
  if (auto it = script_.signals.find(container); it != script_.signals.end()) reply = it->second;
  answer(reply.timing, signalGate_, [completion, error = reply.error] { completion(error); });
}

}  // namespace ostrel::testing
