#pragma once

// One registered domain shown as a folder: the extension loaded for it, its
// FUSE mount, its content cache and the thread that keeps it current. The
// serving loop (control socket, domain state, signals) owns one per domain
// and talks to it only through this interface.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/fileprovider/domain_manager.hpp"
#include "platform/fileprovider/error.hpp"

namespace ostrel::host {

struct MountSettings {
  std::filesystem::path mountPoint{};   // <mount root>/<display name>
  std::filesystem::path cacheFolder{};  // content cache of this domain, under XDG_CACHE_HOME
  std::filesystem::path stateFolder{};  // this domain's own state, under XDG_STATE_HOME
  std::chrono::milliseconds changeInterval{2000};  // how often the containers are asked for changes
};

class DomainMount {
 public:
  virtual ~DomainMount() = default;

  // Detaches a stale mount left at the mount point, mounts, and starts
  // serving on threads of its own. Returns an error instead of throwing.
  virtual std::optional<platform::fileprovider::Error> start() = 0;
  // Unmounts and joins every thread; safe to call more than once.
  virtual void stop() = 0;

  // Asks the container (an item identifier, or the working set) for its
  // changes at once, off the caller's thread.
  virtual void signalEnumerator(const std::string& containerIdentifier) = 0;
  // The named error no longer holds: retry what waited on it.
  virtual void errorResolved(const platform::fileprovider::Error& error) = 0;

  // Copies the user data that removal keeps into `destination` (created),
  // by mode: only files not yet synchronised, or also every downloaded
  // file. Nothing when there was nothing to keep.
  virtual std::optional<std::filesystem::path> preserve(platform::fileprovider::RemovalMode mode,
                                                        const std::filesystem::path& destination) = 0;
};

std::unique_ptr<DomainMount> makeDomainMount(const platform::fileprovider::Domain& domain, MountSettings settings);

}  // namespace ostrel::host
