#pragma once

// The host's domain manager as the control tool sees it: list, add and remove
// domains, and, on the manager of one domain, declare an error resolved and
// ask for a container to be enumerated again. Every answer arrives once, on a
// thread of the implementation's choosing, possibly after the caller stopped
// waiting; completions must therefore own whatever they touch.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileprovider/error.hpp"

namespace ostrel::platform::fileprovider {

// The sentence a report carries for an error: its description, else a
// generic one naming the domain and code, so that no reason is ever empty.
std::string describe(const Error& error);

struct Domain {
  std::string identifier{};
  std::string displayName{};

  bool operator==(const Domain&) const = default;
};

enum class RemovalMode : int {
  removeAll = 0,
  preserveDirtyUserData = 1,
  preserveDownloadedUserData = 2,
};

using ErrorCompletion = std::function<void(std::optional<Error>)>;
using DomainsCompletion = std::function<void(std::vector<Domain>, std::optional<Error>)>;
using RemovalCompletion =
    std::function<void(std::optional<std::filesystem::path> preservedAt, std::optional<Error>)>;

// The manager of one registered domain.
class DomainScopedManager {
 public:
  virtual ~DomainScopedManager() = default;
  virtual void signalErrorResolved(const Error& error, ErrorCompletion completion) = 0;
  virtual void signalEnumerator(const std::string& containerIdentifier,
                                ErrorCompletion completion) = 0;
};

class DomainManager {
 public:
  virtual ~DomainManager() = default;
  virtual void getDomains(DomainsCompletion completion) = 0;
  virtual void addDomain(const Domain& domain, ErrorCompletion completion) = 0;
  virtual void removeDomain(const Domain& domain, RemovalMode mode,
                            RemovalCompletion completion) = 0;
  // Nothing when the host has no manager for the domain.
  virtual std::shared_ptr<DomainScopedManager> managerForDomain(const Domain& domain) = 0;
};

}  // namespace ostrel::platform::fileprovider
