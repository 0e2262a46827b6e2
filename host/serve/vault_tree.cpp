#include "host/serve/vault_tree.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <unordered_set>

#include "extension/items/vault_file_item.hpp"
#include "extension/model/finder_folders.hpp"
#include "extension/model/residency.hpp"
#include "host/serve/errno_mapping.hpp"
#include "host/serve/vault_tree_support.hpp"
#include "platform/fileprovider/content_type.hpp"
#include "platform/log.hpp"

namespace ostrel::host {

namespace fp = platform::fileprovider;
namespace fs = std::filesystem;

using namespace tree;

namespace {

const std::string rootId(fp::rootContainer);
const std::string workingSetId(fp::workingSetContainer);
const std::string cloudOnlySlug(Residency(Residency::cloudOnly).slug());

// A listing that never names a next page is complete; the bound only stops
// an enumerator that never ends.
constexpr int maxPages = 10000;

class Collector final : public fp::EnumerationObserver {
 public:
  void didEnumerateItems(std::vector<fp::ItemPtr> items) override {
    for (auto& item : items) {
      if (item) items_.push_back(std::move(item));
    }
  }
  void finishEnumeratingUpToPage(std::optional<fp::Page> nextPage) override {
    finished_ = true;
    next_ = std::move(nextPage);
  }
  void finishEnumeratingWithError(fp::Error error) override {
    finished_ = true;
    error_ = std::move(error);
  }

  bool finished_ = false;
  std::optional<fp::Page> next_;
  std::optional<fp::Error> error_;
  std::vector<fp::ItemPtr> items_;
};

class ChangeOutcome final : public fp::ChangeObserver {
 public:
  void finishEnumeratingChangesUpToSyncAnchor(fp::SyncAnchor, bool) override { done_ = true; }
  void finishEnumeratingWithError(fp::Error error) override {
    done_ = true;
    error_ = std::move(error);
  }
  bool done_ = false;
  std::optional<fp::Error> error_;
};

bool sameAttributes(const fp::ItemPtr& a, const fp::ItemPtr& b) {
  return a->itemVersion() == b->itemVersion() && a->documentSize() == b->documentSize() &&
         a->contentModificationDate() == b->contentModificationDate();
}

}  // namespace

VaultTree::VaultTree(std::shared_ptr<fp::ReplicatedExtension> extension, ContentCache& cache,
                     WriteSettings writes)
    : extension_(std::move(extension)),
      cache_(cache),
      uid_(::getuid()),
      gid_(::getgid()),
      mountedAt_([] {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        return now;
      }()),
      writes_(std::move(writes)) {
  if (!writes_.pendingFolder.empty()) {
    store_ = std::make_unique<PendingStore>(writes_.pendingFolder);
    loadPendingArea();
  }
}

VaultTree::Kind VaultTree::kindOf(const std::string& container) {
  if (container == rootId) return Kind::root;
  std::optional<Residency> residency;
  if (auto folder = FinderFolders::parse(container)) {
    residency = Residency::fromSlug(folder->residency);
  } else {
    residency = Residency::fromSlug(container);
  }
  if (!residency) return Kind::unknown;
  return *residency == Residency::cloudOnly ? Kind::cloud : Kind::device;
}

std::shared_ptr<fp::Enumerator> VaultTree::enumerator(const std::string& container,
                                                      std::optional<fp::Error>& error) {
  {
    std::lock_guard lock(enumeratorMutex_);
    if (auto it = enumerators_.find(container); it != enumerators_.end()) return it->second;
  }
  std::shared_ptr<fp::Enumerator> made = extension_->enumerator(container, fp::Request{}, error);
  if (!made) {
    if (!error) error = contractBroken("the extension gave no enumerator and no error");
    return nullptr;
  }
  std::lock_guard lock(enumeratorMutex_);
  return enumerators_.emplace(container, std::move(made)).first->second;
}

std::variant<VaultTree::Enumerated, fp::Error> VaultTree::enumerate(const std::string& container, bool withAnchor) {
  std::optional<fp::Error> error;
  auto source = enumerator(container, error);
  if (!source) return *error;

  Enumerated result;
  if (withAnchor) {
    source->currentSyncAnchor([&result](std::optional<fp::SyncAnchor> anchor) { result.anchor = std::move(anchor); });
  }

  fp::Page page;
  for (int pages = 0; pages < maxPages; ++pages) {
    Collector collector;
    source->enumerateItems(collector, page);
    if (!collector.finished_) return contractBroken("the enumerator returned without finishing");
    if (collector.error_) return *collector.error_;
    for (auto& item : collector.items_) result.items.push_back(std::move(item));
    if (!collector.next_) return result;
    page = *collector.next_;
  }
  return contractBroken("the enumerator never reached its last page");
}

VaultTree::ChangeState VaultTree::changes(const std::string& container,
                                          const std::optional<fp::SyncAnchor>& anchor) {
  std::optional<fp::Error> error;
  auto source = enumerator(container, error);
  if (!source) {
    failed(container, *error);
    return ChangeState::failed;
  }
  ChangeOutcome outcome;
  source->enumerateChanges(outcome, anchor.value_or(fp::SyncAnchor()));
  if (!outcome.done_) {
    failed(container, contractBroken("the enumerator returned without finishing the changes"));
    return ChangeState::failed;
  }
  if (!outcome.error_) {
    succeeded(container);
    return anchor ? ChangeState::unchanged : ChangeState::expired;
  }
  if (outcome.error_->domain == fp::errorDomain && outcome.error_->code == fp::errorCode::syncAnchorExpired) {
    succeeded(container);
    return ChangeState::expired;
  }
  failed(container, *outcome.error_);
  return ChangeState::failed;
}

int VaultTree::failed(const std::string& identifier, const fp::Error& error) {
  std::string sentence = sentenceOf(error);
  bool newlyUnreachable = false;
  {
    std::lock_guard lock(mutex_);
    errors_[identifier] = sentence;
    if (isServerUnreachable(error)) {
      newlyUnreachable = !unreachable_;
      unreachable_ = sentence;
    }
  }
  if (newlyUnreachable) {
    platform::providerLog().error("companion app unreachable: {}", sentence);
  } else if (!isServerUnreachable(error)) {
    platform::providerLog().error("{} failed: {}", identifier, sentence);
  }
  return errnoFor(error);
}

void VaultTree::succeeded(const std::string& identifier) {
  bool wasUnreachable = false;
  {
    std::lock_guard lock(mutex_);
    errors_.erase(identifier);
    wasUnreachable = unreachable_.has_value();
    unreachable_.reset();
  }
  if (wasUnreachable) platform::providerLog().info("companion app reachable again");
}

ListingPtr VaultTree::buildListing(const std::vector<fp::ItemPtr>& items) {
  auto listing = std::make_shared<Listing>();
  listing->children.reserve(items.size());
  std::unordered_set<std::string> seen;
  for (const auto& item : items) {
    // The same item listed twice is one entry.
    if (!seen.insert(item->itemIdentifier()).second) continue;
    std::string name = item->filename();
    if (!usableName(name)) {
      platform::providerLog().error("skipping {}: its name cannot be shown", item->itemIdentifier());
      continue;
    }
    // Two vault files may share a name; neither may hide the other.
    if (listing->byName.count(name)) {
      name += " (" + item->itemIdentifier() + ")";
      if (!usableName(name) || listing->byName.count(name)) continue;
    }
    Ino ino = inodes_.assign(item);
    listing->byName.emplace(name, listing->children.size());
    listing->children.push_back(Child{.name = std::move(name), .ino = ino, .item = item});
  }
  return listing;
}

void VaultTree::install(Listings fresh, const std::vector<std::string>& gone, KernelNotifier* notifier) {
  std::vector<std::pair<std::string, ListingPtr>> replaced;
  {
    std::lock_guard lock(mutex_);
    for (auto& [container, listing] : fresh) {
      auto& slot = listings_[container];
      replaced.emplace_back(container, slot);
      slot = listing;
      failedContainers_.erase(container);
    }
    for (const auto& container : gone) listings_.erase(container);
  }
  if (!notifier) return;

  for (const auto& [container, old] : replaced) {
    if (!old) continue;
    const Listing& now = *fresh.at(container);
    auto parent = inodes_.find(container);
    if (!parent) continue;
    bool changed = old->children.size() != now.children.size();
    for (const auto& child : old->children) {
      const Child* match = now.find(child.name);
      if (!match || match->ino != child.ino) {
        notifier->entryChanged(*parent, child.name);
        changed = true;
      } else if (!sameAttributes(match->item, child.item)) {
        notifier->inodeChanged(child.ino);
        changed = true;
      }
    }
    if (changed) notifier->inodeChanged(*parent);
  }
}

int VaultTree::loadDevice(KernelNotifier* notifier) {
  auto outcome = enumerate(workingSetId, true);
  if (auto* error = std::get_if<fp::Error>(&outcome)) {
    {
      std::lock_guard lock(mutex_);
      failedContainers_.insert(workingSetId);
    }
    return failed(workingSetId, *error);
  }
  auto& enumerated = std::get<Enumerated>(outcome);

  // The working set holds every file and folder of both device residencies,
  // so one listing gives every device container its children.
  std::unordered_map<std::string, std::vector<fp::ItemPtr>> byParent;
  // Parsing an identifier is not cheap, and a hundred thousand files share
  // a few thousand parents.
  std::unordered_map<std::string, bool> deviceParent;
  for (auto residency : {Residency(Residency::deviceOnly), Residency(Residency::deviceAndCloud)}) {
    byParent[std::string(residency.slug())];
  }
  for (const auto& item : enumerated.items) {
    std::string parent = item->parentItemIdentifier();
    auto known = deviceParent.find(parent);
    if (known == deviceParent.end()) known = deviceParent.emplace(parent, kindOf(parent) == Kind::device).first;
    if (known->second) byParent[parent].push_back(item);
    if (!asFile(item)) byParent[item->itemIdentifier()];  // a folder, even without files of its own
  }
  Listings fresh;
  for (const auto& [container, items] : byParent) fresh.emplace(container, buildListing(items));

  std::vector<std::string> gone;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [container, listing] : listings_) {
      if (kindOf(container) == Kind::device && !fresh.count(container)) gone.push_back(container);
    }
    deviceLoaded_ = true;
    deviceAnchor_ = enumerated.anchor;
    failedContainers_.erase(workingSetId);
  }
  install(std::move(fresh), gone, notifier);
  succeeded(workingSetId);
  return 0;
}

int VaultTree::loadCloud(const std::vector<std::string>& containers, KernelNotifier* notifier) {
  // Every cloud folder's anchor covers the whole residency, so the
  // residency folder's anchor stands for all of them.
  std::optional<fp::SyncAnchor> anchor;
  {
    std::optional<fp::Error> error;
    if (auto source = enumerator(cloudOnlySlug, error)) {
      source->currentSyncAnchor([&anchor](std::optional<fp::SyncAnchor> value) { anchor = std::move(value); });
    }
  }
  Listings fresh;
  int code = 0;
  for (const auto& container : containers) {
    auto outcome = enumerate(container, false);
    if (auto* error = std::get_if<fp::Error>(&outcome)) {
      {
        std::lock_guard lock(mutex_);
        failedContainers_.insert(container);
      }
      code = failed(container, *error);
      // A partial refresh would leave folders of two moments side by side.
      if (notifier) return code;
      continue;
    }
    fresh.emplace(container, buildListing(std::get<Enumerated>(outcome).items));
    succeeded(container);
  }
  if (fresh.empty()) return code != 0 ? code : EIO;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [container, listing] : fresh) cloudListed_.insert(container);
    // A refresh lists every cloud folder again and takes the new anchor. A
    // folder listed on request keeps the anchor of the first one listed: if
    // the residency changed since, the next refresh sees it and lists them
    // all again.
    if (notifier || !cloudAnchor_) cloudAnchor_ = anchor;
  }
  install(std::move(fresh), {}, notifier);
  return 0;
}

Result<ListingPtr> VaultTree::ensure(const std::string& container) {
  {
    std::lock_guard lock(mutex_);
    if (auto it = listings_.find(container); it != listings_.end()) return {.value = it->second};
    // A folder the user made has no files in the vault yet.
    if (localFolders_.count(container)) return {.value = std::make_shared<const Listing>()};
    // The working set named every device folder there is.
    if (deviceLoaded_ && kindOf(container) == Kind::device) return Result<ListingPtr>::failure(ENOENT);
    if (unreachable_ && kindOf(container) != Kind::root) return Result<ListingPtr>::failure(EHOSTDOWN);
  }
  std::lock_guard loading(loading_);
  {
    std::lock_guard lock(mutex_);
    if (auto it = listings_.find(container); it != listings_.end()) return {.value = it->second};
  }
  int code = 0;
  switch (kindOf(container)) {
    case Kind::root: {
      auto outcome = enumerate(rootId, false);
      if (auto* error = std::get_if<fp::Error>(&outcome)) return Result<ListingPtr>::failure(failed(rootId, *error));
      install({{rootId, buildListing(std::get<Enumerated>(outcome).items)}}, {}, nullptr);
      break;
    }
    case Kind::device: code = loadDevice(nullptr); break;
    case Kind::cloud: code = loadCloud({container}, nullptr); break;
    case Kind::unknown: return Result<ListingPtr>::failure(ENOENT);
  }
  if (code != 0) return Result<ListingPtr>::failure(code);
  std::lock_guard lock(mutex_);
  if (auto it = listings_.find(container); it != listings_.end()) return {.value = it->second};
  return Result<ListingPtr>::failure(ENOENT);
}

struct stat VaultTree::statOf(Ino ino, const fp::ItemPtr& item) const {
  struct stat st {};
  st.st_ino = ino;
  st.st_uid = uid_;
  st.st_gid = gid_;
  st.st_blksize = 4096;
  const VaultFileItem* file = item ? asFile(item) : nullptr;
  if (file) st.st_blksize = preferredIoSize;
  if (!file) {
    st.st_mode = S_IFDIR | 0755;
    st.st_nlink = 2;
    st.st_mtim = st.st_ctim = st.st_atim = mountedAt_;
    return st;
  }
  st.st_mode = S_IFREG | 0444;
  st.st_nlink = 1;
  st.st_size = std::max<std::int64_t>(0, item->documentSize().value_or(0));
  st.st_blocks = (st.st_size + 511) / 512;
  double seconds = item->contentModificationDate().value_or(fp::Date{}).secondsSince1970;
  if (std::isfinite(seconds)) {
    double whole = std::floor(seconds);
    st.st_mtim.tv_sec = static_cast<time_t>(whole);
    st.st_mtim.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
  }
  st.st_ctim = st.st_mtim;
  st.st_atim = st.st_mtim;
  return st;
}

Result<struct stat> VaultTree::lookup(Ino parent, const std::string& name) {
  auto container = inodes_.identifier(parent);
  if (!container) return Result<struct stat>::failure(ENOENT);
  auto listing = ensure(*container);
  if (!listing) return Result<struct stat>::failure(listing.error);
  const Child* child = (*listing.value)->find(name);
  if (!child) {
    std::lock_guard lock(mutex_);
    const LocalName* local = localChild(*container, name);
    if (!local) return Result<struct stat>::failure(ENOENT);
    if (local->folder) {
      const LocalFolder& folder = localFolders_.at(local->key);
      return {.value = statOf(folder.ino, inodes_.item(folder.ino))};
    }
    return {.value = localStat(localFiles_.at(local->key))};
  }
  auto item = inodes_.item(child->ino);
  return {.value = statOf(child->ino, item ? item : child->item)};
}

Result<struct stat> VaultTree::attributes(Ino ino) {
  if (ino == InodeTable::rootIno) return {.value = statOf(ino, nullptr)};
  auto item = inodes_.item(ino);
  if (!item) return Result<struct stat>::failure(ENOENT);
  // Asked for every entry of every listing: only pending files need the lock.
  if (isPendingFile(item)) {
    std::lock_guard lock(mutex_);
    if (const LocalFile* file = localFile(ino)) return {.value = localStat(*file)};
    // It became a vault item meanwhile.
    item = inodes_.item(ino);
  }
  return {.value = statOf(ino, item)};
}

Result<ListingPtr> VaultTree::listing(Ino ino) {
  auto container = inodes_.identifier(ino);
  if (!container) return Result<ListingPtr>::failure(ENOENT);
  if (ino != InodeTable::rootIno && asFile(inodes_.item(ino))) return Result<ListingPtr>::failure(ENOTDIR);
  {
    std::lock_guard lock(mutex_);
    if (localFile(ino)) return Result<ListingPtr>::failure(ENOTDIR);
  }
  auto vault = ensure(*container);
  if (!vault) return vault;
  std::lock_guard lock(mutex_);
  return {.value = withLocalChildren(*container, *vault.value)};
}

Result<int> VaultTree::open(Ino ino, int flags) {
  {
    std::lock_guard lock(mutex_);
    if (LocalFile* file = localFile(ino)) {
      const bool writing = (flags & O_ACCMODE) != O_RDONLY;
      // An upload reads the bytes it was given; a change now would be lost.
      if (writing && file->record.state == LocalState::uploading) return Result<int>::failure(EBUSY);
      int fd = ::open(store_->dataPath(file->record.key).c_str(), (writing ? O_RDWR : O_RDONLY) | O_CLOEXEC);
      if (fd < 0) return Result<int>::failure(errno);
      if (writing && (flags & O_TRUNC) && ::ftruncate(fd, 0) != 0) {
        int error = errno;
        ::close(fd);
        return Result<int>::failure(error);
      }
      if (writing) {
        ++file->writers;
        if (file->record.state != LocalState::writing) {
          file->record.state = LocalState::writing;
          saveLocked(*file);
        }
      }
      return {.value = fd};
    }
  }
  auto item = inodes_.item(ino);
  if (ino == InodeTable::rootIno || (item && !asFile(item))) return Result<int>::failure(EISDIR);
  if (!item) return Result<int>::failure(ENOENT);
  // Vault files are read-only until the write path exists.
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC)) return Result<int>::failure(EACCES);

  const std::string id = item->itemIdentifier();
  const std::string version = contentVersion(item);
  if (int fd = cache_.open(id, version); fd >= 0) return {.value = fd};
  {
    std::lock_guard lock(mutex_);
    if (unreachable_) return Result<int>::failure(EHOSTDOWN);
  }

  std::optional<fs::path> url;
  fp::ItemPtr fetched;
  std::optional<fp::Error> error;
  bool called = false;
  extension_->fetchContents(id, item->itemVersion(), fp::Request{},
                            [&](std::optional<fs::path> u, fp::ItemPtr i, std::optional<fp::Error> e) {
                              called = true;
                              url = std::move(u);
                              fetched = std::move(i);
                              error = std::move(e);
                            });
  if (!called) error = contractBroken("fetchContents returned without completing");
  if (!error && (!url || !fetched)) error = contractBroken("fetchContents completed without a file or an item");
  if (error) return Result<int>::failure(failed(id, *error));

  fs::path cached;
  try {
    cached = cache_.adopt(id, contentVersion(fetched), *url);
  } catch (const std::exception& thrown) {
    return Result<int>::failure(failed(id, fp::Error::fromException(thrown)));
  }
  succeeded(id);
  if (!sameAttributes(fetched, item)) {
    inodes_.update(fetched);
    std::lock_guard lock(mutex_);
    staleInodes_.push_back(ino);
  }
  int fd = ::open(cached.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Result<int>::failure(errno);
  return {.value = fd};
}

Result<std::vector<std::string>> VaultTree::xattrNames(Ino ino) {
  std::vector<std::string> names;
  auto item = inodes_.item(ino);
  if (ino != InodeTable::rootIno && !item) return Result<std::vector<std::string>>::failure(ENOENT);
  for (const char* name : {idAttribute, residencyAttribute, statusAttribute, errorAttribute}) {
    if (xattr(ino, name)) names.emplace_back(name);
  }
  return {.value = std::move(names)};
}

Result<std::string> VaultTree::xattr(Ino ino, const std::string& name) {
  auto identifier = inodes_.identifier(ino);
  auto item = inodes_.item(ino);
  if (!identifier || (ino != InodeTable::rootIno && !item)) return Result<std::string>::failure(ENOENT);
  const VaultFileItem* file = item ? asFile(item) : nullptr;

  // Other namespaces are not supported at all; file managers remember that
  // per file system instead of asking for every file.
  if (!name.starts_with("user.")) return Result<std::string>::failure(EOPNOTSUPP);
  if (isPendingFile(item)) {
    std::lock_guard lock(mutex_);
    if (const LocalFile* local = localFile(ino)) {
      // Not a vault item yet, so no identifier; the residency is the one it
      // was dropped into.
      if (name == statusAttribute) return {.value = stateName(local->record.state)};
      if (name == errorAttribute && !local->record.error.empty()) return {.value = local->record.error};
      if (name == residencyAttribute) {
        const std::string& parent = local->record.parent;
        if (auto folder = FinderFolders::parse(parent)) return {.value = folder->residency};
        if (Residency::fromSlug(parent)) return {.value = parent};
      }
      return Result<std::string>::failure(ENODATA);
    }
  }
  if (name == idAttribute) return {.value = *identifier};
  if (name == residencyAttribute) {
    if (file) return {.value = file->file().residency};
    if (auto folder = FinderFolders::parse(*identifier)) return {.value = folder->residency};
    if (Residency::fromSlug(*identifier)) return {.value = *identifier};
    return Result<std::string>::failure(ENODATA);
  }
  if (name == statusAttribute) {
    if (!file) return Result<std::string>::failure(ENODATA);
    return {.value = cache_.contains(*identifier, contentVersion(item)) ? "downloaded" : "cloud"};
  }
  if (name == errorAttribute) {
    std::lock_guard lock(mutex_);
    if (auto it = errors_.find(*identifier); it != errors_.end()) return {.value = it->second};
    if (unreachable_) return {.value = *unreachable_};
    return Result<std::string>::failure(ENODATA);
  }
  return Result<std::string>::failure(ENODATA);
}

void VaultTree::refresh(KernelNotifier& notifier) {
  std::vector<Ino> stale;
  bool device = false, cloud = false, wasUnreachable = false;
  std::optional<fp::SyncAnchor> deviceAnchor, cloudAnchor;
  std::set<std::string> failedBefore;
  {
    std::lock_guard lock(mutex_);
    stale.swap(staleInodes_);
    device = deviceLoaded_;
    cloud = !cloudListed_.empty();
    deviceAnchor = deviceAnchor_;
    cloudAnchor = cloudAnchor_;
    wasUnreachable = unreachable_.has_value();
    failedBefore = failedContainers_;
  }
  for (Ino ino : stale) notifier.inodeChanged(ino);

  // A listing made without its anchor is made again with one.
  if (device && (!deviceAnchor || changes(workingSetId, deviceAnchor) == ChangeState::expired)) {
    std::lock_guard loading(loading_);
    loadDevice(&notifier);
  }
  if (cloud && (!cloudAnchor || changes(cloudOnlySlug, cloudAnchor) == ChangeState::expired)) {
    std::lock_guard loading(loading_);
    std::vector<std::string> containers;
    {
      std::lock_guard lock(mutex_);
      containers.assign(cloudListed_.begin(), cloudListed_.end());
    }
    loadCloud(containers, &notifier);
  }
  // Nothing else asked the companion app; ask it whether it is back.
  if (!device && !cloud && wasUnreachable) changes(workingSetId, std::nullopt);

  bool reachable;
  {
    std::lock_guard lock(mutex_);
    reachable = !unreachable_;
  }
  if (!reachable) return;
  // Listings that failed are tried again once the companion app answers;
  // the kernel forgets what it was told about them.
  for (const auto& container : failedBefore) {
    if (container == workingSetId) {
      std::lock_guard loading(loading_);
      if (!device) loadDevice(&notifier);
      continue;
    }
    if (!ensure(container)) continue;
    if (auto ino = inodes_.find(container)) notifier.inodeChanged(*ino);
  }
}

void VaultTree::resolveErrors() {
  forgetEnumerators();
  std::lock_guard lock(mutex_);
  unreachable_.reset();
}

void VaultTree::forgetEnumerators() {
  std::lock_guard lock(enumeratorMutex_);
  enumerators_.clear();
}

std::optional<std::string> VaultTree::relativePath(const std::string& identifier) const {
  std::vector<std::string> parts;
  std::string current = identifier;
  for (int depth = 0; depth < 4096 && current != rootId; ++depth) {
    auto ino = inodes_.find(current);
    if (!ino) return std::nullopt;
    auto item = inodes_.item(*ino);
    if (!item || !usableName(item->filename())) return std::nullopt;
    parts.push_back(item->filename());
    current = item->parentItemIdentifier();
  }
  if (current != rootId) return std::nullopt;
  std::string path;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) path += (path.empty() ? "" : "/") + *it;
  return path;
}

std::optional<fs::path> VaultTree::preserve(fp::RemovalMode mode, const fs::path& destination) {
  // What the user made and the vault does not have yet is kept in every mode.
  std::size_t copied = preserveLocalFiles(destination);
  if (mode != fp::RemovalMode::preserveDownloadedUserData) {
    if (copied == 0) return std::nullopt;
    return destination;
  }
  auto entries = cache_.entries();
  bool unnamed = false;
  for (const auto& entry : entries) unnamed = unnamed || !relativePath(entry.identifier);
  // Files cached by an earlier run have no names yet; the working set names
  // the device residencies in one listing.
  if (unnamed) {
    ensure(rootId);
    ensure(std::string(Residency(Residency::deviceOnly).slug()));
  }

  for (const auto& entry : entries) {
    auto path = relativePath(entry.identifier);
    if (!path) {
      // Kept under its identifier rather than lost.
      std::string name = entry.identifier;
      for (char& c : name) c = c == '/' ? '_' : c;
      if (!usableName(name)) continue;
      path = name;
    }
    std::error_code error;
    fs::path target = destination / *path;
    fs::create_directories(target.parent_path(), error);
    if (!error) fs::copy_file(entry.path, target, fs::copy_options::overwrite_existing, error);
    if (error) {
      platform::providerLog().error("preserve {} failed: {}", *path, error.message());
      continue;
    }
    ++copied;
  }
  if (copied == 0) return std::nullopt;
  return destination;
}

}  // namespace ostrel::host
