#include <map>
#include <memory>
#include <mutex>

#include "fpctl/commands.hpp"
#include "fpctl/domains.hpp"

namespace ostrel::fpctl {
using platform::fileprovider::Error;

namespace {

// Written by enumerator-signal callbacks, possibly several at once.
struct SignalResults {
  std::mutex lock;
  std::vector<std::string> signalled;          // guarded by lock; in callback order
  std::map<std::string, std::string> failed;  // guarded by lock; container -> description
};

std::vector<std::string> signalledContainers() {
  std::vector<std::string> containers{std::string(WORKING_SET_CONTAINER)};
  for (std::string_view slug : RESIDENCY_SLUGS) containers.emplace_back(slug);
  return containers;
}

// Empty when the host accepted, the host's description when it refused,
// "timeout" when it did not answer. Never decides the exit status.
std::string resolveServerUnreachable(platform::fileprovider::DomainScopedManager& manager,
                                     Seconds timeout) {
  auto answer = std::make_shared<Answer<std::string>>();
  Error resolved = Error::fileProvider(platform::fileprovider::errorCode::serverUnreachable);
  manager.signalErrorResolved(resolved, [answer](std::optional<Error> error) {
    answer->set(error ? platform::fileprovider::describe(*error) : std::string());
  });
  return answer->waitFor(timeout).value_or("timeout");
}

}  // namespace

Output cmdSignal(const Context& context) {
  std::vector<platform::fileprovider::Domain> own = ownDomains(context);
  if (own.empty()) {
    return failure("not_registered", "the Ostrel domain is not registered; nothing to signal", 6);
  }
  std::shared_ptr<platform::fileprovider::DomainScopedManager> manager =
      context.host.managerForDomain(own.front());
  if (!manager) {
    return failure("no_manager", "could not open a file-provider manager for the Ostrel domain",
                   7);
  }

  std::string resolution = resolveServerUnreachable(*manager, context.timeout);

  auto results = std::make_shared<SignalResults>();
  auto group = std::make_shared<Group>();
  for (const std::string& container : signalledContainers()) {
    group->enter();
    manager->signalEnumerator(container, [results, group, container](std::optional<Error> error) {
      {
        std::lock_guard guard(results->lock);
        if (error) {
          results->failed[container] = platform::fileprovider::describe(*error);
        } else {
          results->signalled.push_back(container);
        }
      }
      group->leave();
    });
  }
  bool allDone = group->waitFor(context.timeout);

  std::lock_guard guard(results->lock);  // late callbacks may still be running
  if (!allDone) {
    Output out = failure("timeout", didNotAnswerWithin(context.timeout), 3);
    out.object["signalled"] = results->signalled;
    return out;
  }
  Object failed = Object::object();
  for (const auto& [container, description] : results->failed) failed[container] = description;
  if (!results->signalled.empty()) {
    return {{{"ok", true},
             {"signalled", results->signalled},
             {"failed", std::move(failed)},
             {"errorResolved", resolution.empty() ? "serverUnreachable" : "failed: " + resolution}},
            0};
  }
  return {{{"ok", false},
           {"code", "signal_failed"},
           {"error", "no container could be signalled"},
           {"failed", std::move(failed)}},
          8};
}

}  // namespace ostrel::fpctl
