#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "host/serve/content_cache.hpp"
#include "host/serve/inode_table.hpp"
#include "platform/fileprovider/domain_manager.hpp"
#include "platform/fileprovider/replicated_extension.hpp"

namespace ostrel::host {

// A value or the errno that stands instead of it.
template <class T>
struct Result {
  std::optional<T> value{};
  int error = 0;

  static Result failure(int errnoValue) { return Result{.value = std::nullopt, .error = errnoValue}; }
  explicit operator bool() const { return value.has_value(); }
};

struct Child {
  std::string name{};
  Ino ino = 0;
  platform::fileprovider::ItemPtr item{};
};

// One container's children as last listed; never changed once built.
struct Listing {
  std::vector<Child> children{};
  std::unordered_map<std::string, std::size_t> byName{};

  const Child* find(const std::string& name) const {
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : &children[it->second];
  }
};
using ListingPtr = std::shared_ptr<const Listing>;

// Where the tree tells the kernel to forget what it cached.
class KernelNotifier {
 public:
  virtual ~KernelNotifier() = default;
  virtual void entryChanged(Ino parent, const std::string& name) = 0;
  virtual void inodeChanged(Ino ino) = 0;
};

// The folder as the extension describes it: listings per container with the
// sync anchors they were made at, the inode numbers of their items and the
// downloaded contents. Request handlers read it (and list a container the
// first time it is needed); only refresh() replaces listings and tells the
// kernel, so no request handler ever waits on a kernel notification.
//
// Listings of the two device residencies come from one working-set listing;
// "Cloud only" is listed folder by folder. A listing that fails keeps the
// last good one; while the companion app is unreachable nothing asks it
// from a request handler, and requests that need it fail at once.
class VaultTree {
 public:
  VaultTree(std::shared_ptr<platform::fileprovider::ReplicatedExtension> extension, ContentCache& cache);

  Result<struct stat> lookup(Ino parent, const std::string& name);
  Result<struct stat> attributes(Ino ino);
  Result<ListingPtr> listing(Ino ino);
  // A read-only descriptor of the file's contents, downloaded on first use.
  Result<int> open(Ino ino, int flags);
  Result<std::string> xattr(Ino ino, const std::string& name);
  Result<std::vector<std::string>> xattrNames(Ino ino);

  // Asks for changes and lists again what changed or failed; the watcher's
  // one tick.
  void refresh(KernelNotifier& notifier);
  // Forgets the unreachable state so the next refresh retries at once.
  void resolveErrors();
  // The next questions go to new enumerators: an enumerator keeps its
  // fingerprint for a second, which would hide a change signalled within it.
  void forgetEnumerators();
  std::optional<std::filesystem::path> preserve(platform::fileprovider::RemovalMode mode,
                                                const std::filesystem::path& destination);

  struct stat statOf(Ino ino, const platform::fileprovider::ItemPtr& item) const;

 private:
  enum class Kind { root, device, cloud, unknown };
  enum class ChangeState { unchanged, expired, failed };
  struct Enumerated {
    std::vector<platform::fileprovider::ItemPtr> items{};
    std::optional<platform::fileprovider::SyncAnchor> anchor{};
  };
  using Listings = std::unordered_map<std::string, ListingPtr>;

  static Kind kindOf(const std::string& container);

  std::shared_ptr<platform::fileprovider::Enumerator> enumerator(const std::string& container,
                                                                 std::optional<platform::fileprovider::Error>& error);
  // With the anchor first, so a change made during the listing shows up as
  // a change at the next refresh.
  std::variant<Enumerated, platform::fileprovider::Error> enumerate(const std::string& container, bool withAnchor);
  ChangeState changes(const std::string& container, const std::optional<platform::fileprovider::SyncAnchor>& anchor);

  Result<ListingPtr> ensure(const std::string& container);
  // Lists and installs; the error's errno when it fails. With a notifier
  // (the watcher) the listing comes with its anchor; a request handler's
  // listing has none, and the watcher's next refresh lists again with one,
  // so the anchor's cost stays off the request path.
  int loadDevice(KernelNotifier* notifier);
  int loadCloud(const std::vector<std::string>& containers, KernelNotifier* notifier);
  ListingPtr buildListing(const std::vector<platform::fileprovider::ItemPtr>& items);
  void install(Listings fresh, const std::vector<std::string>& gone, KernelNotifier* notifier);

  // Records, logs and classifies a failure; its errno.
  int failed(const std::string& identifier, const platform::fileprovider::Error& error);
  void succeeded(const std::string& identifier);
  std::optional<std::string> relativePath(const std::string& identifier) const;

  const std::shared_ptr<platform::fileprovider::ReplicatedExtension> extension_;
  ContentCache& cache_;
  InodeTable inodes_;
  const uid_t uid_;
  const gid_t gid_;
  const timespec mountedAt_;  // folders have no time of their own

  // Serialises loading listings, so concurrent first lookups list once and
  // an older listing never replaces a newer one. Held across calls into the
  // extension; taken before enumeratorMutex_ and mutex_, and never by a
  // request whose listing is already there.
  std::mutex loading_;

  // Lock order: enumeratorMutex_ and mutex_ are never held together, and
  // neither is held across a call into the extension.
  std::mutex enumeratorMutex_;
  std::map<std::string, std::shared_ptr<platform::fileprovider::Enumerator>> enumerators_;  // guarded by enumeratorMutex_

  mutable std::mutex mutex_;
  Listings listings_;                                          // guarded by mutex_
  bool deviceLoaded_ = false;                                  // guarded by mutex_
  std::optional<platform::fileprovider::SyncAnchor> deviceAnchor_;  // guarded by mutex_
  std::set<std::string> cloudListed_;                          // guarded by mutex_
  std::optional<platform::fileprovider::SyncAnchor> cloudAnchor_;   // guarded by mutex_
  std::set<std::string> failedContainers_;                     // guarded by mutex_
  std::optional<std::string> unreachable_;                     // the sentence; guarded by mutex_
  std::unordered_map<std::string, std::string> errors_;        // last sentence per identifier; guarded by mutex_
  std::vector<Ino> staleInodes_;                               // seen newer by an open; guarded by mutex_
};

}  // namespace ostrel::host
