#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
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
#include "host/serve/pending_store.hpp"
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

// How the tree takes in what the user makes in the folder. Without a
// pending area the folder is read-only.
struct WriteSettings {
  std::filesystem::path pendingFolder{};
  // A closed file waits this long before its first upload, so a writer that
  // renames its temporary file right after closing it (rsync) is not
  // uploaded under the temporary name.
  std::chrono::milliseconds settleDelay{200};
  // A retried upload waits this long, doubled after each failure up to the cap.
  std::chrono::milliseconds retryDelay{1000};
  std::chrono::milliseconds retryCap{60000};
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
  VaultTree(std::shared_ptr<platform::fileprovider::ReplicatedExtension> extension, ContentCache& cache,
            WriteSettings writes = {});

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

  // --- What the user changes (vault_tree_writes.cpp). Each answers from
  // the host's own records or one call into the extension, and never tells
  // the kernel anything: the kernel applies a successful change itself.
  struct Created {
    struct stat attributes {};
    int fd = -1;
  };
  // A new file of the pending area, open for writing.
  Result<Created> create(Ino parent, const std::string& name, mode_t mode, int flags);
  Result<struct stat> makeFolder(Ino parent, const std::string& name);
  // unlink (folder false) and rmdir (folder true); 0 or the errno.
  int remove(Ino parent, const std::string& name, bool folder);
  int rename(Ino parent, const std::string& name, Ino newParent, const std::string& newName, unsigned flags);
  Result<struct stat> setAttributes(Ino ino, const struct stat& wanted, int toSet);
  // The kernel released a descriptor opened for writing.
  void writerClosed(Ino ino);

  // Uploads the next pending file whose time has come; the upload thread's
  // one tick. Tells the kernel about a file that became a vault item.
  void uploadDue(KernelNotifier& notifier);
  // Pending files are tried at once, excluded ones offered again.
  void retryLocalFiles();
  // Called when something was uploaded or moved, so the next listing comes soon.
  void onVaultChanged(std::function<void()> changed) { vaultChanged_ = std::move(changed); }
  // Called when a file became due for upload.
  void onUploadDue(std::function<void()> due) { uploadDueNow_ = std::move(due); }

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
  // Lists and installs; the error's errno when it fails. Every listing
  // comes with the anchor taken just before it: a listing without one would
  // have to be made again by the watcher, which at a hundred thousand files
  // costs more (two more listings, and the items twice in memory) than the
  // anchor does on the request path. Only the watcher (with a notifier)
  // tells the kernel what changed.
  int loadDevice(KernelNotifier* notifier);
  int loadCloud(const std::vector<std::string>& containers, KernelNotifier* notifier);
  ListingPtr buildListing(const std::vector<platform::fileprovider::ItemPtr>& items);
  void install(Listings fresh, const std::vector<std::string>& gone, KernelNotifier* notifier);

  struct LocalFile {
    LocalFileRecord record{};
    Ino ino = 0;
    int writers = 0;
    int failures = 0;  // since the last success or resolution; sets the backoff
    std::chrono::steady_clock::time_point due{};
  };
  struct LocalFolder {
    LocalFolderRecord record{};
    Ino ino = 0;
  };
  // A name in a container that the host made: a pending file (by key) or a
  // new folder (by identifier).
  struct LocalName {
    bool folder = false;
    std::string key{};
  };

  void loadPendingArea();
  // With mutex_ held.
  const LocalName* localChild(const std::string& container, const std::string& name) const;
  // Neither a pending child nor a vault child, as far as it was listed.
  bool folderEmpty(const std::string& container) const;
  LocalFile* localFile(Ino ino);
  const LocalFile* localFile(Ino ino) const;
  void saveLocked(const LocalFile& file);
  void forgetLocal(const LocalFile& file);
  void placeLocal(const std::string& key, const std::string& container, const std::string& name);
  struct stat localStat(const LocalFile& file) const;
  ListingPtr withLocalChildren(const std::string& container, ListingPtr vault) const;

  platform::fileprovider::ItemCapabilities capabilitiesOf(Ino ino);
  int refuseUnlessAdding(Ino parent);
  void finishUpload(const std::string& key, const platform::fileprovider::ItemPtr& item, KernelNotifier& notifier);
  void failUpload(const std::string& key, const platform::fileprovider::Error& error);
  // Puts a vault item into its container's listing at once, until the next
  // listing says where the companion app keeps it.
  void placeInListing(const std::string& container, const std::string& name, Ino ino,
                      const platform::fileprovider::ItemPtr& item);
  void dropFromListing(const std::string& container, const std::string& name);
  std::optional<platform::fileprovider::Error> callCreate(const platform::fileprovider::Item& itemTemplate,
                                                          const std::optional<std::filesystem::path>& contents,
                                                          platform::fileprovider::ItemPtr& created);
  // The extension's folder creation; 0, or the errno of its refusal, whose
  // sentence goes to the container.
  int createFolder(const std::string& container, const std::string& name, platform::fileprovider::ItemPtr& folder);
  void noteError(const std::string& identifier, const std::string& sentence);
  std::size_t preserveLocalFiles(const std::filesystem::path& destination);

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

  const WriteSettings writes_;
  std::unique_ptr<PendingStore> store_;  // none: the folder is read-only
  std::function<void()> vaultChanged_;
  std::function<void()> uploadDueNow_;
  std::optional<platform::fileprovider::ItemCapabilities> rootCapabilities_;  // guarded by mutex_
  std::map<std::string, LocalFile> localFiles_;                               // by key; guarded by mutex_
  std::map<std::string, LocalFolder> localFolders_;                           // by identifier; guarded by mutex_
  std::unordered_map<Ino, std::string> localByIno_;                           // file keys; guarded by mutex_
  std::unordered_map<std::string, std::map<std::string, LocalName>> localChildren_;  // guarded by mutex_
};

}  // namespace ostrel::host
