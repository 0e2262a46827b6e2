#pragma once

// The registered domains of `ostrel-fphost serve` and their mounts: what the
// control socket's requests act on.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/serve/domain_mount.hpp"

namespace ostrel::host {

using MountFactory = std::function<std::unique_ptr<DomainMount>(const platform::fileprovider::Domain&,
                                                                MountSettings)>;

struct ServeSettings {
  std::filesystem::path mountRoot{};    // each domain at <mountRoot>/<display name>
  std::filesystem::path stateFolder{};  // domains.json, and <identifier>/ per domain
  std::filesystem::path cacheFolder{};  // <identifier>/ per domain
  std::chrono::milliseconds changeInterval{2000};
};

class MountedDomains {
 public:
  using Error = platform::fileprovider::Error;
  using Domain = platform::fileprovider::Domain;

  MountedDomains(ServeSettings settings, MountFactory factory);
  // Stops every mount.
  ~MountedDomains();
  MountedDomains(const MountedDomains&) = delete;
  MountedDomains& operator=(const MountedDomains&) = delete;

  // Mounts the domains of the state file. A domain whose mount fails stays
  // registered (the cause may pass, and a later add retries it); the errors
  // come back for the log. Throws when the state file cannot be read.
  std::vector<std::pair<Domain, Error>> restore();

  std::vector<Domain> domains() const;
  std::optional<Error> add(const Domain& domain);
  // Preserves by mode first and forgets the domain only once that worked, so
  // a failed copy never costs the user's files.
  std::variant<std::optional<std::filesystem::path>, Error> remove(
      const Domain& domain, platform::fileprovider::RemovalMode mode);
  std::optional<Error> signalEnumerator(const Domain& domain, const std::string& container);
  std::optional<Error> errorResolved(const Domain& domain, const Error& error);

  // Unmounts everything; the registrations stay in the state file.
  void stopAll();

  std::filesystem::path stateFile() const { return settings_.stateFolder / "domains.json"; }
  std::filesystem::path mountPointOf(const Domain& domain) const;

 private:
  struct Entry {
    Domain domain{};
    std::shared_ptr<DomainMount> mount{};  // null while not mounted
  };

  std::optional<Error> mount(Entry& entry);
  std::shared_ptr<DomainMount> runningMount(const Domain& domain, std::optional<Error>& error) const;
  std::vector<Domain> registeredLocked() const;

  ServeSettings settings_;
  MountFactory factory_;
  // Lock order: changeLock_ before entriesLock_. changeLock_ serialises adds,
  // removals and stops, and is held across mounting; entriesLock_ is never
  // held during I/O. entries_ changes only with both held, so either one is
  // enough to read it.
  std::mutex changeLock_;
  mutable std::mutex entriesLock_;
  std::vector<Entry> entries_;  // registration order
};

// Why a domain cannot be served as given, or nothing. Identifiers and display
// names become path components, so neither may climb out of its folder.
std::optional<platform::fileprovider::Error> invalidDomain(const platform::fileprovider::Domain& domain);

// Where removal keeps a domain's files: beside its mount point, named after
// it and the time, never an existing path.
std::filesystem::path preservationFolder(const std::filesystem::path& mountPoint,
                                         std::chrono::system_clock::time_point when);

}  // namespace ostrel::host
