#include "host/serve/serve_loop_domains.hpp"

#include "host/serve/pending_store.hpp"

#include <cerrno>
#include <ctime>
#include <system_error>

#include "host/serve/domain_state.hpp"
#include "platform/fileprovider/control_socket.hpp"
#include "platform/log.hpp"

namespace ostrel::host {
namespace fs = std::filesystem;
using platform::fileprovider::Domain;
using platform::fileprovider::Error;
using platform::fileprovider::RemovalMode;

namespace {

Error refusal(int code, std::string description) {
  return {platform::fileprovider::kControlSocketErrorDomain, code, std::move(description)};
}

Error notRegistered(const Domain& domain) {
  return refusal(ENOENT, "no domain \"" + domain.identifier + "\" is registered");
}

bool unsafeComponent(const std::string& name) {
  return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
         name.find('\0') != std::string::npos;
}

std::string folderName(const Domain& domain) {
  return domain.displayName.empty() ? domain.identifier : domain.displayName;
}

// Errors of a mount must not end the host, whatever it throws.
template <typename Call>
std::optional<Error> guarded(Call call) {
  try {
    return call();
  } catch (const std::exception& e) {
    return Error::fromException(e);
  } catch (...) {
    return refusal(EIO, "the mount failed unexpectedly");
  }
}

}  // namespace

std::optional<Error> invalidDomain(const Domain& domain) {
  if (unsafeComponent(domain.identifier)) {
    return refusal(EINVAL, "a domain identifier must be a non-empty name without \"/\", "
                           "and not \".\" or \"..\"");
  }
  if (!domain.displayName.empty() && unsafeComponent(domain.displayName)) {
    return refusal(EINVAL, "a domain display name must not contain \"/\", nor be \".\" or \"..\"");
  }
  return std::nullopt;
}

fs::path preservationFolder(const fs::path& mountPoint, std::chrono::system_clock::time_point when) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char stamp[32];
  // No colons: other systems and tools refuse them in file names.
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
  std::string base = mountPoint.filename().string() + " (Preserved " + stamp;
  fs::path candidate = mountPoint.parent_path() / (base + ")");
  std::error_code ec;
  for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n) {
    candidate = mountPoint.parent_path() / (base + " " + std::to_string(n) + ")");
  }
  return candidate;
}

MountedDomains::MountedDomains(ServeSettings settings, MountFactory factory)
    : settings_(std::move(settings)), factory_(std::move(factory)) {}

MountedDomains::~MountedDomains() { stopAll(); }

fs::path MountedDomains::mountPointOf(const Domain& domain) const {
  return settings_.mountRoot / folderName(domain);
}

std::optional<Error> MountedDomains::mount(Entry& entry) {
  return guarded([&]() -> std::optional<Error> {
    fs::path point = mountPointOf(entry.domain);
    std::error_code ec;
    fs::create_directories(point, ec);
    if (ec) return Error::fromException(std::system_error(ec, "cannot create " + point.string()));
    std::shared_ptr<DomainMount> mount =
        factory_(entry.domain, MountSettings{.mountPoint = point,
                                             .cacheFolder = settings_.cacheFolder / entry.domain.identifier,
                                             .stateFolder = settings_.stateFolder / entry.domain.identifier,
                                             .changeInterval = settings_.changeInterval});
    if (!mount) return refusal(EIO, "no mount could be made for \"" + entry.domain.identifier + "\"");
    if (auto error = mount->start()) {
      mount->stop();
      return error;
    }
    platform::providerLog().info("mounted \"{}\" at {}", entry.domain.identifier, point.string());
    std::lock_guard lock(entriesLock_);
    entry.mount = std::move(mount);
    return std::nullopt;
  });
}

std::vector<std::pair<Domain, Error>> MountedDomains::restore() {
  std::lock_guard change(changeLock_);
  std::vector<std::pair<Domain, Error>> failures;
  for (const Domain& domain : loadDomains(stateFile())) {
    if (auto invalid = invalidDomain(domain)) {
      failures.emplace_back(domain, *invalid);
      continue;
    }
    Entry* entry = nullptr;
    {
      std::lock_guard lock(entriesLock_);
      entry = &entries_.emplace_back(Entry{domain, nullptr});
    }
    if (auto error = mount(*entry)) failures.emplace_back(domain, *error);
  }
  return failures;
}

std::vector<Domain> MountedDomains::registeredLocked() const {
  std::vector<Domain> list;
  for (const Entry& entry : entries_) list.push_back(entry.domain);
  return list;
}

std::vector<Domain> MountedDomains::domains() const {
  std::lock_guard lock(entriesLock_);
  return registeredLocked();
}

std::optional<Error> MountedDomains::add(const Domain& domain) {
  if (auto invalid = invalidDomain(domain)) return invalid;
  std::lock_guard change(changeLock_);
  std::size_t index = 0;
  {
    std::lock_guard lock(entriesLock_);
    for (index = 0; index < entries_.size(); ++index) {
      const Entry& entry = entries_[index];
      if (entry.domain.identifier == domain.identifier) break;
      if (mountPointOf(entry.domain) == mountPointOf(domain)) {
        return refusal(EEXIST, "the domain \"" + entry.domain.identifier + "\" is already mounted at " +
                                   mountPointOf(domain).string());
      }
    }
  }
  if (index < entries_.size()) {
    // Registered already: adding again only retries a mount that failed.
    if (entries_[index].mount) return std::nullopt;
    return mount(entries_[index]);
  }

  Entry entry{domain, nullptr};
  if (auto error = mount(entry)) return error;
  std::vector<Domain> registered;
  {
    std::lock_guard lock(entriesLock_);
    registered = registeredLocked();
  }
  registered.push_back(domain);
  if (auto error = guarded([&]() -> std::optional<Error> {
        saveDomains(stateFile(), registered);
        return std::nullopt;
      })) {
    entry.mount->stop();
    return error;
  }
  std::lock_guard lock(entriesLock_);
  entries_.push_back(std::move(entry));
  return std::nullopt;
}

std::variant<std::optional<fs::path>, Error> MountedDomains::remove(const Domain& domain,
                                                                    RemovalMode mode) {
  if (mode != RemovalMode::removeAll && mode != RemovalMode::preserveDirtyUserData &&
      mode != RemovalMode::preserveDownloadedUserData) {
    return refusal(EINVAL, "the removal mode must be 1 or 2");
  }
  std::lock_guard change(changeLock_);
  std::size_t index = 0;
  std::shared_ptr<DomainMount> mount;
  Domain registered;
  {
    std::lock_guard lock(entriesLock_);
    while (index < entries_.size() && entries_[index].domain.identifier != domain.identifier) ++index;
    if (index == entries_.size()) return notRegistered(domain);
    mount = entries_[index].mount;
    registered = entries_[index].domain;
  }

  std::optional<fs::path> preservedAt;
  if (mode != RemovalMode::removeAll && !mount) {
    return refusal(EAGAIN, "\"" + domain.identifier +
                               "\" is not mounted, so its files cannot be preserved; "
                               "remove it again once it is mounted");
  }
  if (mount) {
    // Even a removal that keeps nothing keeps the files the vault does not
    // have yet: they exist nowhere else.
    RemovalMode keep = mode == RemovalMode::removeAll ? RemovalMode::preserveDirtyUserData : mode;
    fs::path destination = preservationFolder(mountPointOf(registered), std::chrono::system_clock::now());
    try {
      preservedAt = mount->preserve(keep, destination);
    } catch (const std::exception& e) {
      return Error::fromException(e);
    }
  }

  std::vector<Domain> rest;
  {
    std::lock_guard lock(entriesLock_);
    rest = registeredLocked();
  }
  rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(index));
  if (auto error = guarded([&]() -> std::optional<Error> {
        saveDomains(stateFile(), rest);
        return std::nullopt;
      })) {
    return *error;
  }
  {
    std::lock_guard lock(entriesLock_);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  if (mount) mount->stop();
  // What removal keeps was copied out above; the rest belongs to nobody now.
  std::error_code ec;
  fs::remove_all(settings_.cacheFolder / registered.identifier, ec);
  const fs::path state = settings_.stateFolder / registered.identifier;
  if (mount) {
    fs::remove_all(state, ec);
  } else {
    // Nothing could copy the pending area out; it stays for a later
    // registration of the same domain to pick up.
    for (const auto& entry : fs::directory_iterator(state, ec)) {
      if (entry.path() != pendingFolder(state)) fs::remove_all(entry.path(), ec);
    }
  }
  fs::remove(mountPointOf(registered), ec);  // only when empty: never the user's files
  platform::providerLog().info("removed \"{}\"{}", registered.identifier,
                               preservedAt ? ", kept files at " + preservedAt->string() : "");
  return preservedAt;
}

std::shared_ptr<DomainMount> MountedDomains::runningMount(const Domain& domain,
                                                          std::optional<Error>& error) const {
  std::lock_guard lock(entriesLock_);
  for (const Entry& entry : entries_) {
    if (entry.domain.identifier != domain.identifier) continue;
    if (!entry.mount) error = refusal(EAGAIN, "\"" + domain.identifier + "\" is not mounted");
    return entry.mount;
  }
  error = notRegistered(domain);
  return nullptr;
}

std::optional<Error> MountedDomains::signalEnumerator(const Domain& domain, const std::string& container) {
  std::optional<Error> error;
  std::shared_ptr<DomainMount> mount = runningMount(domain, error);
  if (!mount) return error;
  return guarded([&]() -> std::optional<Error> {
    mount->signalEnumerator(container);
    return std::nullopt;
  });
}

std::optional<Error> MountedDomains::errorResolved(const Domain& domain, const Error& resolved) {
  std::optional<Error> error;
  std::shared_ptr<DomainMount> mount = runningMount(domain, error);
  if (!mount) return error;
  return guarded([&]() -> std::optional<Error> {
    mount->errorResolved(resolved);
    return std::nullopt;
  });
}

void MountedDomains::stopAll() {
  std::lock_guard change(changeLock_);
  std::vector<std::shared_ptr<DomainMount>> mounts;
  {
    std::lock_guard lock(entriesLock_);
    for (Entry& entry : entries_) {
      if (entry.mount) mounts.push_back(std::move(entry.mount));
      entry.mount = nullptr;
    }
  }
  for (auto& mount : mounts) {
    try {
      mount->stop();
    } catch (const std::exception& e) {
      platform::providerLog().error("stopping a mount failed: {}", e.what());
    }
  }
}

}  // namespace ostrel::host
