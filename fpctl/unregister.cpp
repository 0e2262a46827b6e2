#include <memory>
#include <mutex>

#include "fpctl/commands.hpp"
#include "fpctl/domains.hpp"

namespace ostrel::fpctl {
using platform::fileprovider::Domain;
using platform::fileprovider::Error;
using platform::fileprovider::RemovalMode;

namespace {

// Written by removal callbacks, possibly several at once.
struct RemovalResults {
  std::mutex lock;
  std::optional<Error> error;       // guarded by lock; the last reported
  std::vector<std::string> preservedAt;  // guarded by lock; in callback order
};

}  // namespace

Output cmdUnregister(const Context& context, bool keepDirtyOnly) {
  std::vector<Domain> own = ownDomains(context);
  if (own.empty()) {
    return {{{"ok", true}, {"registered", false}, {"wasPresent", false}}, 0};
  }

  RemovalMode mode =
      keepDirtyOnly ? RemovalMode::preserveDirtyUserData : RemovalMode::preserveDownloadedUserData;
  auto results = std::make_shared<RemovalResults>();
  auto group = std::make_shared<Group>();
  for (const Domain& domain : own) {
    group->enter();
    context.host.removeDomain(
        domain, mode,
        [results, group](std::optional<std::filesystem::path> preservedAt,
                         std::optional<Error> error) {
          {
            std::lock_guard guard(results->lock);
            if (error) results->error = std::move(error);
            if (preservedAt) results->preservedAt.push_back(preservedAt->string());
          }
          group->leave();
        });
  }
  if (!group->waitFor(context.timeout)) {
    return failure("timeout", "removal did not complete", 3);
  }

  std::lock_guard guard(results->lock);
  if (results->error) {
    return {{{"ok", false},
             {"code", "remove_failed"},
             {"osCode", results->error->code},
             {"error", platform::fileprovider::describe(*results->error)}},
            5};
  }
  return {{{"ok", true},
           {"registered", false},
           {"wasPresent", true},
           {"preservedAt", results->preservedAt},
           {"kept", keepDirtyOnly ? "dirty" : "downloaded"}},
          0};
}

}  // namespace ostrel::fpctl
