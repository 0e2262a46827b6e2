// What the user changes in the folder: files staged in the pending area and
// uploaded when their writer closes them, new folders, moves and removals.
// Nothing the user made is dropped: a pending file leaves the pending area
// only once the extension returned its vault item, or when the user
// removes it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <fuse_lowlevel.h>

#include "extension/items/folder_item.hpp"
#include "extension/model/finder_folders.hpp"
#include "extension/model/residency.hpp"
#include "host/serve/display_folder.hpp"
#include "host/serve/errno_mapping.hpp"
#include "host/serve/local_item.hpp"
#include "host/serve/vault_tree.hpp"
#include "host/serve/vault_tree_support.hpp"
#include "platform/fileprovider/content_type.hpp"
#include "platform/log.hpp"
#include "platform/uuid.hpp"

namespace ostrel::host {

namespace fp = platform::fileprovider;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tree;

namespace {

const std::string rootId(fp::rootContainer);

constexpr fp::ItemCapabilities localFileCapabilities =
    fp::ItemCapability::allowsReading | fp::ItemCapability::allowsWriting | fp::ItemCapability::allowsReparenting |
    fp::ItemCapability::allowsRenaming | fp::ItemCapability::allowsDeleting;

std::optional<std::string> contentTypeFor(const std::string& name) {
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return std::string(fp::contentType::data);
  return fp::MimeDatabase::shared().typeForExtension(std::string_view(name).substr(dot + 1))
      .value_or(std::string(fp::contentType::data));
}

bool isExcluded(const fp::Error& error) {
  return error.domain == fp::errorDomain && error.code == fp::errorCode::excludedFromSync;
}

// What a refused move or removal tells the caller. "Not accepted"
// (notAuthenticated) is a refusal of the change, not a sign-in problem.
int refusalErrno(const fp::Error& error) {
  if (error.domain == fp::errorDomain && error.code == fp::errorCode::notAuthenticated) return EPERM;
  return errnoFor(error);
}

bool isCloudOnly(const fp::ItemPtr& item) {
  const VaultFileItem* file = asFile(item);
  return file && file->file().residency == Residency(Residency::cloudOnly).slug();
}

}  // namespace

// --- the pending area in memory ---

void VaultTree::loadPendingArea() {
  std::lock_guard lock(mutex_);
  for (auto& record : store_->folders()) {
    auto parsed = FinderFolders::parse(record.identifier);
    if (!parsed || !Residency::fromSlug(parsed->residency)) {
      platform::providerLog().error("pending folder {} has an unknown identifier; it stays on disk",
                                    record.identifier);
      continue;
    }
    auto item = std::make_shared<FolderItem>(parsed->residency, parsed->path);
    Ino ino = inodes_.assign(item);
    localChildren_[record.parent][record.name] = LocalName{.folder = true, .key = record.identifier};
    std::string identifier = record.identifier;
    localFolders_.emplace(identifier, LocalFolder{.record = std::move(record), .ino = ino});
  }
  const auto now = Clock::now();
  for (auto& record : store_->files()) {
    // A writer or an upload cut short by a crash: the bytes are there, so
    // they are offered again.
    if (record.state == LocalState::writing || record.state == LocalState::uploading) {
      record.state = LocalState::pending;
    }
    // A crash between creating a record and its data leaves no bytes to
    // lose; an empty file stands for them.
    if (::access(store_->dataPath(record.key).c_str(), F_OK) != 0) {
      int made = ::open(store_->dataPath(record.key).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (made >= 0) ::close(made);
    }
    Ino ino = inodes_.assign(std::make_shared<LocalItem>(localIdentifier(record.key), record.parent, record.name,
                                                         std::nullopt));
    // Two files of one name can come back from a crash in the middle of a
    // rename; neither may hide the other.
    auto& siblings = localChildren_[record.parent];
    if (siblings.count(record.name)) record.name += " (" + record.key + ")";
    siblings[record.name] = LocalName{.folder = false, .key = record.key};
    localByIno_[ino] = record.key;
    std::string key = record.key;
    LocalFile file{.record = std::move(record), .ino = ino, .writers = 0, .failures = 0, .due = now};
    localFiles_.emplace(key, std::move(file));
  }
  if (!localFiles_.empty()) {
    platform::providerLog().info("{} file(s) waiting in the pending area", localFiles_.size());
  }
}

const VaultTree::LocalName* VaultTree::localChild(const std::string& container, const std::string& name) const {
  auto children = localChildren_.find(container);
  if (children == localChildren_.end()) return nullptr;
  auto it = children->second.find(name);
  return it == children->second.end() ? nullptr : &it->second;
}

bool VaultTree::folderEmpty(const std::string& container) const {
  auto children = localChildren_.find(container);
  if (children != localChildren_.end() && !children->second.empty()) return false;
  auto listed = listings_.find(container);
  return listed == listings_.end() || listed->second->children.empty();
}

VaultTree::LocalFile* VaultTree::localFile(Ino ino) {
  auto it = localByIno_.find(ino);
  return it == localByIno_.end() ? nullptr : &localFiles_.at(it->second);
}

const VaultTree::LocalFile* VaultTree::localFile(Ino ino) const {
  auto it = localByIno_.find(ino);
  return it == localByIno_.end() ? nullptr : &localFiles_.at(it->second);
}

void VaultTree::saveLocked(const LocalFile& file) {
  try {
    store_->save(file.record);
  } catch (const std::exception& error) {
    // The bytes are still there; only the state beside them is older.
    platform::providerLog().error("cannot record the state of {}: {}", file.record.name, error.what());
  }
}

void VaultTree::forgetLocal(const LocalFile& file) {
  auto children = localChildren_.find(file.record.parent);
  if (children != localChildren_.end()) {
    children->second.erase(file.record.name);
    if (children->second.empty()) localChildren_.erase(children);
  }
  localByIno_.erase(file.ino);
  localFiles_.erase(file.record.key);
}

void VaultTree::placeLocal(const std::string& key, const std::string& container, const std::string& name) {
  LocalFile& file = localFiles_.at(key);
  auto children = localChildren_.find(file.record.parent);
  if (children != localChildren_.end()) {
    children->second.erase(file.record.name);
    if (children->second.empty()) localChildren_.erase(children);
  }
  file.record.parent = container;
  file.record.name = name;
  localChildren_[container][name] = LocalName{.folder = false, .key = key};
  inodes_.update(std::make_shared<LocalItem>(localIdentifier(key), container, name, std::nullopt));
}

struct stat VaultTree::localStat(const LocalFile& file) const {
  struct stat data {};
  ::stat(store_->dataPath(file.record.key).c_str(), &data);
  struct stat st {};
  st.st_ino = file.ino;
  st.st_uid = uid_;
  st.st_gid = gid_;
  st.st_blksize = preferredIoSize;
  st.st_mode = S_IFREG | (file.record.mode & 07777);
  st.st_nlink = 1;
  st.st_size = data.st_size;
  st.st_blocks = data.st_blocks;
  st.st_mtim = data.st_mtim;
  st.st_atim = data.st_atim;
  st.st_ctim = data.st_ctim;
  return st;
}

ListingPtr VaultTree::withLocalChildren(const std::string& container, ListingPtr vault) const {
  auto children = localChildren_.find(container);
  if (children == localChildren_.end() || children->second.empty()) return vault;
  auto merged = std::make_shared<Listing>(*vault);
  for (const auto& [name, local] : children->second) {
    // A file that just became a vault item may show under both for a moment.
    if (merged->byName.count(name)) continue;
    Ino ino = local.folder ? localFolders_.at(local.key).ino : localFiles_.at(local.key).ino;
    merged->byName.emplace(name, merged->children.size());
    merged->children.push_back(Child{.name = name, .ino = ino, .item = inodes_.item(ino)});
  }
  return merged;
}

// --- capabilities ---

fp::ItemCapabilities VaultTree::capabilitiesOf(Ino ino) {
  {
    std::lock_guard lock(mutex_);
    if (localFile(ino)) return localFileCapabilities;
    if (ino == InodeTable::rootIno && rootCapabilities_) return *rootCapabilities_;
  }
  if (ino != InodeTable::rootIno) {
    auto item = inodes_.item(ino);
    return item ? item->capabilities().value_or(fp::ItemCapabilities{}) : fp::ItemCapabilities{};
  }
  // The root is no listed item; the extension describes it.
  fp::ItemCapabilities found{};
  bool answered = false;
  extension_->item(rootId, fp::Request{}, [&](fp::ItemPtr item, std::optional<fp::Error> error) {
    if (item && !error) {
      found = item->capabilities().value_or(fp::ItemCapabilities{});
      answered = true;
    }
  });
  if (answered) {
    std::lock_guard lock(mutex_);
    rootCapabilities_ = found;
  }
  return found;
}

int VaultTree::refuseUnlessAdding(Ino parent) {
  auto item = inodes_.item(parent);
  if (parent != InodeTable::rootIno && item && asFile(item)) return ENOTDIR;
  return capabilitiesOf(parent).contains(fp::ItemCapability::allowsWriting) ? 0 : EACCES;
}

// --- creating ---

Result<VaultTree::Created> VaultTree::create(Ino parent, const std::string& name, mode_t mode, int flags) {
  if (!store_) return Result<Created>::failure(EROFS);
  auto container = inodes_.identifier(parent);
  if (!container) return Result<Created>::failure(ENOENT);
  if (!usableName(name)) return Result<Created>::failure(EINVAL);
  if (int refused = refuseUnlessAdding(parent)) return Result<Created>::failure(refused);
  auto listing = ensure(*container);
  if (!listing) return Result<Created>::failure(listing.error);
  if ((*listing.value)->find(name)) return Result<Created>::failure(EEXIST);

  std::lock_guard lock(mutex_);
  if (localChild(*container, name)) return Result<Created>::failure(EEXIST);
  LocalFileRecord record{.key = platform::randomUuid(),
                         .parent = *container,
                         .name = name,
                         .state = LocalState::writing,
                         .error = "",
                         .mode = static_cast<mode_t>(mode & 07777)};
  // The bytes' file first: a record never names data that is not there.
  int fd = ::open(store_->dataPath(record.key).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Result<Created>::failure(errno);
  try {
    store_->save(record);
  } catch (const std::system_error& error) {
    ::close(fd);
    ::unlink(store_->dataPath(record.key).c_str());
    return Result<Created>::failure(error.code().value() > 0 ? error.code().value() : EIO);
  }
  Ino ino = inodes_.assign(std::make_shared<LocalItem>(localIdentifier(record.key), *container, name, std::nullopt));
  const bool writing = (flags & O_ACCMODE) != O_RDONLY;
  std::string key = record.key;
  LocalFile file{.record = std::move(record), .ino = ino, .writers = writing ? 1 : 0, .failures = 0,
                 .due = Clock::now() + writes_.settleDelay};
  if (!writing) file.record.state = LocalState::pending;
  localChildren_[*container][name] = LocalName{.folder = false, .key = key};
  localByIno_[ino] = key;
  auto& placed = localFiles_.emplace(key, std::move(file)).first->second;
  if (!writing) saveLocked(placed);
  return {.value = Created{.attributes = localStat(placed), .fd = fd}};
}

std::optional<fp::Error> VaultTree::callCreate(const fp::Item& itemTemplate,
                                               const std::optional<fs::path>& contents, fp::ItemPtr& created) {
  std::optional<fp::Error> error;
  bool called = false;
  fp::ItemFields fields = fp::ItemField::filename | fp::ItemField::parentItemIdentifier;
  if (contents) fields |= fp::ItemField::contents;
  extension_->createItem(itemTemplate, fields, contents, fp::CreateItemOptions{}, fp::Request{},
                         [&](fp::ItemPtr item, fp::ItemFields, bool, std::optional<fp::Error> e) {
                           called = true;
                           created = std::move(item);
                           error = std::move(e);
                         });
  if (!called) return contractBroken("createItem returned without completing");
  if (!error && !created) return contractBroken("createItem completed without an item or an error");
  return error;
}

Result<struct stat> VaultTree::makeFolder(Ino parent, const std::string& name) {
  if (!store_) return Result<struct stat>::failure(EROFS);
  auto container = inodes_.identifier(parent);
  if (!container) return Result<struct stat>::failure(ENOENT);
  if (!usableName(name)) return Result<struct stat>::failure(EINVAL);
  if (int refused = refuseUnlessAdding(parent)) return Result<struct stat>::failure(refused);
  auto listing = ensure(*container);
  if (!listing) return Result<struct stat>::failure(listing.error);
  {
    std::lock_guard lock(mutex_);
    if ((*listing.value)->find(name) || localChild(*container, name)) return Result<struct stat>::failure(EEXIST);
  }

  fp::ItemPtr folder;
  if (int refused = createFolder(*container, name, folder)) return Result<struct stat>::failure(refused);

  std::lock_guard lock(mutex_);
  if (localChild(*container, name)) return Result<struct stat>::failure(EEXIST);
  LocalFolderRecord record{.key = platform::randomUuid(), .identifier = folder->itemIdentifier(),
                           .parent = *container, .name = name};
  try {
    store_->save(record);
  } catch (const std::system_error& error) {
    return Result<struct stat>::failure(error.code().value() > 0 ? error.code().value() : EIO);
  }
  Ino ino = inodes_.assign(folder);
  localChildren_[*container][name] = LocalName{.folder = true, .key = record.identifier};
  std::string identifier = record.identifier;
  localFolders_.emplace(identifier, LocalFolder{.record = std::move(record), .ino = ino});
  return {.value = statOf(ino, folder)};
}

int VaultTree::createFolder(const std::string& container, const std::string& name, fp::ItemPtr& folder) {
  LocalItem request("", container, name, std::string(fp::contentType::folder));
  auto error = callCreate(request, std::nullopt, folder);
  if (!error) return 0;
  std::string sentence = sentenceOf(*error);
  platform::providerLog().error("new folder \"{}\" refused: {}", name, sentence);
  noteError(container, sentence);
  return isExcluded(*error) ? EPERM : errnoFor(*error);
}

void VaultTree::noteError(const std::string& identifier, const std::string& sentence) {
  std::lock_guard lock(mutex_);
  errors_[identifier] = sentence;
}

// --- writing, closing, uploading ---

void VaultTree::writerClosed(Ino ino) {
  bool due = false;
  {
    std::lock_guard lock(mutex_);
    LocalFile* file = localFile(ino);
    if (!file || file->writers == 0) return;
    if (--file->writers == 0 && file->record.state == LocalState::writing) {
      file->record.state = LocalState::pending;
      file->failures = 0;
      file->due = Clock::now() + writes_.settleDelay;
      saveLocked(*file);
      due = true;
    }
  }
  if (due && uploadDueNow_) uploadDueNow_();
}

void VaultTree::uploadDue(KernelNotifier& notifier) {
  if (!store_) return;
  LocalFileRecord record;
  {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    LocalFile* next = nullptr;
    for (auto& [key, file] : localFiles_) {
      if (file.record.state == LocalState::pending && file.writers == 0 && file.due <= now) {
        next = &file;
        break;
      }
    }
    if (!next) return;
    next->record.state = LocalState::uploading;
    saveLocked(*next);
    record = next->record;
  }

  LocalItem itemTemplate(localIdentifier(record.key), record.parent, record.name, contentTypeFor(record.name));
  fp::ItemPtr created;
  auto error = callCreate(itemTemplate, store_->dataPath(record.key), created);
  if (error) {
    failUpload(record.key, *error);
  } else {
    finishUpload(record.key, created, notifier);
  }
  // One file per tick, so a stopping mount waits for one upload at most;
  // the next tick comes at once.
  if (uploadDueNow_) uploadDueNow_();
}

void VaultTree::finishUpload(const std::string& key, const fp::ItemPtr& created, KernelNotifier& notifier) {
  // The companion app dates the file itself, and the version follows the
  // date: the item as listed is the one whose contents the cache must hold.
  fp::ItemPtr item = created;
  extension_->item(created->itemIdentifier(), fp::Request{}, [&](fp::ItemPtr listed, std::optional<fp::Error> error) {
    if (listed && !error) item = std::move(listed);
  });
  LocalFileRecord record;
  Ino ino = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = localFiles_.find(key);
    if (it == localFiles_.end()) return;
    record = it->second.record;
    ino = it->second.ino;
  }
  platform::providerLog().info("\"{}\" is in the vault as {}", record.name, item->itemIdentifier());

  // The staged bytes are the new item's contents; a file kept only in the
  // cloud leaves nothing behind.
  const fs::path data = store_->dataPath(key);
  if (asFile(item) && !isCloudOnly(item)) {
    try {
      cache_.adopt(item->itemIdentifier(), contentVersion(item), data);
    } catch (const std::exception& failure) {
      platform::providerLog().error("cannot keep the contents of {}: {}", record.name, failure.what());
    }
  }

  bool sameNumber = inodes_.rebind(ino, item);
  Ino vaultIno = sameNumber ? ino : inodes_.assign(item);
  {
    std::lock_guard lock(mutex_);
    auto it = localFiles_.find(key);
    if (it != localFiles_.end()) forgetLocal(it->second);
    store_->remove(key);
  }
  placeInListing(record.parent, record.name, vaultIno, item);

  // Outside every lock, from the upload thread: the kernel asks again for
  // what it holds (now read-only, with the vault's size and date).
  if (sameNumber) {
    notifier.inodeChanged(ino);
  } else if (auto parent = inodes_.find(record.parent)) {
    notifier.entryChanged(*parent, record.name);
  }
  if (vaultChanged_) vaultChanged_();
}

void VaultTree::failUpload(const std::string& key, const fp::Error& error) {
  std::string sentence = sentenceOf(error);
  std::lock_guard lock(mutex_);
  auto it = localFiles_.find(key);
  if (it == localFiles_.end()) return;
  LocalFile& file = it->second;
  file.record.error = sentence;
  if (isExcluded(error)) {
    // Refused for good: it stays, visibly, until the user removes it or the
    // error is resolved.
    file.record.state = LocalState::excluded;
    platform::providerLog().error("\"{}\" was not added: {}", file.record.name, sentence);
  } else {
    file.record.state = LocalState::pending;
    ++file.failures;
    auto delay = writes_.retryDelay;
    for (int i = 1; i < file.failures && delay < writes_.retryCap; ++i) delay *= 2;
    delay = std::min(delay, writes_.retryCap);
    file.due = Clock::now() + delay;
    platform::providerLog().error("\"{}\" will be tried again in {} ms: {}", file.record.name, delay.count(),
                                  sentence);
  }
  saveLocked(file);
}

void VaultTree::retryLocalFiles() {
  bool any = false;
  {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    for (auto& [key, file] : localFiles_) {
      if (file.record.state != LocalState::pending && file.record.state != LocalState::excluded) continue;
      file.record.state = LocalState::pending;
      file.failures = 0;
      file.due = now;
      saveLocked(file);
      any = true;
    }
  }
  if (any && uploadDueNow_) uploadDueNow_();
}

void VaultTree::placeInListing(const std::string& container, const std::string& name, Ino ino,
                               const fp::ItemPtr& item) {
  std::lock_guard lock(mutex_);
  auto it = listings_.find(container);
  if (it == listings_.end()) {
    // A folder the user made gets its first vault file; the working set
    // names it from the next listing on.
    if (!localFolders_.count(container)) return;
    it = listings_.emplace(container, std::make_shared<const Listing>()).first;
    // Cloud folders are listed one by one; this one is kept current from now on.
    if (kindOf(container) == Kind::cloud) cloudListed_.insert(container);
  }
  if (it->second->find(name)) return;
  auto copy = std::make_shared<Listing>(*it->second);
  copy->byName.emplace(name, copy->children.size());
  copy->children.push_back(Child{.name = name, .ino = ino, .item = item});
  it->second = std::move(copy);
}

void VaultTree::dropFromListing(const std::string& container, const std::string& name) {
  std::lock_guard lock(mutex_);
  auto it = listings_.find(container);
  if (it == listings_.end() || !it->second->find(name)) return;
  auto copy = std::make_shared<Listing>();
  for (const auto& child : it->second->children) {
    if (child.name == name) continue;
    copy->byName.emplace(child.name, copy->children.size());
    copy->children.push_back(child);
  }
  it->second = std::move(copy);
}

// --- removing ---

int VaultTree::remove(Ino parent, const std::string& name, bool folder) {
  auto container = inodes_.identifier(parent);
  if (!container) return ENOENT;
  auto listing = ensure(*container);
  if (!listing) return listing.error;

  if (const Child* child = (*listing.value)->find(name)) {
    auto item = inodes_.item(child->ino);
    if (!item) item = child->item;
    const bool isFolder = !asFile(item);
    if (folder && !isFolder) return ENOTDIR;
    if (!folder && isFolder) return EISDIR;
    if (isFolder) {
      ensure(item->itemIdentifier());  // listed, so its vault children count
      std::lock_guard lock(mutex_);
      if (!folderEmpty(item->itemIdentifier())) return ENOTEMPTY;
    }
    // The extension has the last word; it keeps every vault item.
    std::optional<fp::Error> error;
    bool called = false;
    extension_->deleteItem(item->itemIdentifier(), item->itemVersion().value_or(fp::ItemVersion{}),
                           fp::DeleteItemOptions{}, fp::Request{}, [&](std::optional<fp::Error> e) {
                             called = true;
                             error = std::move(e);
                           });
    if (!called) error = contractBroken("deleteItem returned without completing");
    if (error) {
      platform::providerLog().info("\"{}\" was not removed: {}", name, sentenceOf(*error));
      return EPERM;
    }
    dropFromListing(*container, name);
    if (vaultChanged_) vaultChanged_();
    return 0;
  }

  std::lock_guard lock(mutex_);
  const LocalName* local = localChild(*container, name);
  if (!local) return ENOENT;
  if (!local->folder) {
    if (folder) return ENOTDIR;
    LocalFile& file = localFiles_.at(local->key);
    // Its bytes are on their way; removing them now would not stop that.
    if (file.record.state == LocalState::uploading) return EBUSY;
    std::string key = file.record.key;
    forgetLocal(file);
    store_->remove(key);
    return 0;
  }
  if (!folder) return EISDIR;
  std::string identifier = local->key;
  if (!folderEmpty(identifier)) return ENOTEMPTY;
  store_->remove(localFolders_.at(identifier).record.key);
  localFolders_.erase(identifier);
  auto children = localChildren_.find(*container);
  children->second.erase(name);
  if (children->second.empty()) localChildren_.erase(children);
  return 0;
}

// --- renaming and moving ---

int VaultTree::rename(Ino parent, const std::string& name, Ino newParent, const std::string& newName,
                      unsigned flags) {
  if (!store_) return EROFS;
  if (flags & RENAME_EXCHANGE) return EINVAL;
  auto from = inodes_.identifier(parent);
  auto to = inodes_.identifier(newParent);
  if (!from || !to) return ENOENT;
  if (!usableName(newName)) return EINVAL;
  auto source = ensure(*from);
  if (!source) return source.error;
  auto target = ensure(*to);
  if (!target) return target.error;
  if (parent == newParent && name == newName) return 0;
  const int addingRefused = parent != newParent ? refuseUnlessAdding(newParent) : 0;

  // A vault item in the target's place is never replaced: that would
  // delete it.
  if ((*target.value)->find(newName)) return EEXIST;

  if (const Child* child = (*source.value)->find(name)) {
    auto item = inodes_.item(child->ino);
    if (!item) item = child->item;
    auto capabilities = item->capabilities().value_or(fp::ItemCapabilities{});
    if (parent == newParent) {
      if (!capabilities.contains(fp::ItemCapability::allowsRenaming)) return EPERM;
    } else {
      if (!capabilities.contains(fp::ItemCapability::allowsReparenting)) return EPERM;
      if (addingRefused) return addingRefused;
    }
    {
      std::lock_guard lock(mutex_);
      if (localChild(*to, newName)) return EEXIST;
    }
    fp::ItemFields changed{};
    if (parent != newParent) changed |= fp::ItemField::parentItemIdentifier;
    if (name != newName) changed |= fp::ItemField::filename;
    LocalItem proposed(item->itemIdentifier(), *to, newName, item->contentType());
    std::optional<fp::Error> error;
    bool called = false;
    extension_->modifyItem(proposed, item->itemVersion().value_or(fp::ItemVersion{}), changed, std::nullopt,
                           fp::ModifyItemOptions{}, fp::Request{},
                           [&](fp::ItemPtr, fp::ItemFields, bool, std::optional<fp::Error> e) {
                             called = true;
                             error = std::move(e);
                           });
    if (!called) error = contractBroken("modifyItem returned without completing");
    if (error) {
      std::string sentence = sentenceOf(*error);
      platform::providerLog().info("\"{}\" was not moved: {}", name, sentence);
      noteError(item->itemIdentifier(), sentence);
      return refusalErrno(*error);
    }
    platform::providerLog().info("moved \"{}\" to {}", name, *to);
    // Shown where the user put it until the next listing shows where the
    // companion app keeps it.
    dropFromListing(*from, name);
    placeInListing(*to, newName, child->ino, item);
    forgetEnumerators();
    if (vaultChanged_) vaultChanged_();
    return 0;
  }

  if (addingRefused) return addingRefused;
  bool folderMoving = false;
  {
    std::lock_guard lock(mutex_);
    const LocalName* local = localChild(*from, name);
    if (!local) return ENOENT;
    folderMoving = local->folder;
    // A new folder with something inside is moved by copying (EXDEV makes
    // mv and file managers do that), so no pending file loses its place.
    if (folderMoving && !folderEmpty(local->key)) return EXDEV;
  }
  // A new folder at its new place is the extension's to make, as for mkdir;
  // asked before the lock is taken, which is never held across a call.
  fp::ItemPtr renamed;
  if (folderMoving) {
    if (int refused = createFolder(*to, newName, renamed)) return refused;
  }

  std::lock_guard lock(mutex_);
  const LocalName* local = localChild(*from, name);
  if (!local || local->folder != folderMoving) return ENOENT;  // changed meanwhile
  LocalName moving = *local;
  if (!moving.folder) {
    LocalFile& file = localFiles_.at(moving.key);
    if (file.record.state == LocalState::uploading) return EBUSY;
    if (const LocalName* existing = localChild(*to, newName)) {
      if (existing->folder || (flags & RENAME_NOREPLACE)) return EEXIST;
      LocalFile& replaced = localFiles_.at(existing->key);
      if (replaced.record.state == LocalState::uploading) return EBUSY;
      std::string key = replaced.record.key;
      forgetLocal(replaced);
      store_->remove(key);
    }
    LocalFile& moved = localFiles_.at(moving.key);
    placeLocal(moving.key, *to, newName);
    // A new name or place may be what the refusal was about: offer it again.
    if (moved.record.state == LocalState::excluded) {
      moved.record.state = LocalState::pending;
      moved.record.error.clear();
      moved.failures = 0;
    }
    if (moved.record.state == LocalState::pending) moved.due = Clock::now() + writes_.settleDelay;
    saveLocked(moved);
    if (moved.record.state == LocalState::pending && uploadDueNow_) uploadDueNow_();
    return 0;
  }
  if (localChild(*to, newName)) return EEXIST;
  if (!folderEmpty(moving.key)) return EXDEV;
  LocalFolder& old = localFolders_.at(moving.key);
  if (!inodes_.rebind(old.ino, renamed)) return EXDEV;
  LocalFolderRecord record{.key = old.record.key, .identifier = renamed->itemIdentifier(), .parent = *to,
                           .name = newName};
  try {
    store_->save(record);
  } catch (const std::system_error& error) {
    return error.code().value() > 0 ? error.code().value() : EIO;
  }
  Ino ino = old.ino;
  localFolders_.erase(moving.key);
  auto children = localChildren_.find(*from);
  children->second.erase(name);
  if (children->second.empty()) localChildren_.erase(children);
  localChildren_[*to][newName] = LocalName{.folder = true, .key = record.identifier};
  std::string identifier = record.identifier;
  localFolders_.emplace(identifier, LocalFolder{.record = std::move(record), .ino = ino});
  return 0;
}

// --- attributes ---

Result<struct stat> VaultTree::setAttributes(Ino ino, const struct stat& wanted, int toSet) {
  if ((toSet & FUSE_SET_ATTR_UID && wanted.st_uid != uid_) || (toSet & FUSE_SET_ATTR_GID && wanted.st_gid != gid_)) {
    return Result<struct stat>::failure(EPERM);
  }
  {
    std::lock_guard lock(mutex_);
    if (LocalFile* file = localFile(ino)) {
      const fs::path data = store_->dataPath(file->record.key);
      if (toSet & FUSE_SET_ATTR_SIZE) {
        if (file->record.state == LocalState::uploading) return Result<struct stat>::failure(EBUSY);
        if (::truncate(data.c_str(), wanted.st_size) != 0) return Result<struct stat>::failure(errno);
      }
      if (toSet & FUSE_SET_ATTR_MODE) {
        file->record.mode = wanted.st_mode & 07777;
        saveLocked(*file);
      }
      if (toSet & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME)) {
        timespec times[2] = {{.tv_sec = 0, .tv_nsec = UTIME_OMIT}, {.tv_sec = 0, .tv_nsec = UTIME_OMIT}};
        if (toSet & FUSE_SET_ATTR_ATIME) times[0] = wanted.st_atim;
        if (toSet & FUSE_SET_ATTR_ATIME_NOW) times[0].tv_nsec = UTIME_NOW;
        if (toSet & FUSE_SET_ATTR_MTIME) times[1] = wanted.st_mtim;
        if (toSet & FUSE_SET_ATTR_MTIME_NOW) times[1].tv_nsec = UTIME_NOW;
        if (::utimensat(AT_FDCWD, data.c_str(), times, 0) != 0) return Result<struct stat>::failure(errno);
      }
      return {.value = localStat(*file)};
    }
  }
  auto current = attributes(ino);
  if (!current) return current;
  if (S_ISDIR(current.value->st_mode)) {
    if (toSet & FUSE_SET_ATTR_SIZE) return Result<struct stat>::failure(EISDIR);
    // Folders have no mode or times of their own to keep; accepting the
    // change lets copy tools that restore them finish.
    return current;
  }
  // Vault files are read-only.
  return Result<struct stat>::failure((toSet & FUSE_SET_ATTR_SIZE) ? EACCES : EPERM);
}

// --- keeping what would be lost ---

std::size_t VaultTree::preserveLocalFiles(const fs::path& destination) {
  if (!store_) return 0;
  std::vector<std::pair<fs::path, fs::path>> files;  // where it goes, its data
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, file] : localFiles_) {
      files.emplace_back(displayFolder(file.record.parent) / file.record.name, store_->dataPath(key));
    }
  }
  std::size_t copied = 0;
  for (const auto& [relative, data] : files) {
    fs::path target = destination / relative;
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (!error) fs::copy_file(data, target, fs::copy_options::overwrite_existing, error);
    if (error) {
      // The caller stops the removal: the pending area stays as it is.
      throw std::system_error(error, "cannot keep " + target.string());
    }
    ++copied;
  }
  return copied;
}

}  // namespace ostrel::host
