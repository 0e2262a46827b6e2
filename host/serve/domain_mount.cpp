#include "host/serve/domain_mount.hpp"

#include <mutex>

#include "extension/provider/ostrel_file_provider.hpp"
#include "host/fuse_session.hpp"
#include "host/ops/operations.hpp"
#include "host/serve/change_watcher.hpp"
#include "host/serve/content_cache.hpp"
#include "host/serve/stale_mount.hpp"
#include "host/serve/vault_tree.hpp"
#include "platform/log.hpp"

namespace ostrel::host {

namespace fp = platform::fileprovider;

namespace {

constexpr const char* hostErrorDomain = "com.ostrel.fphost";
constexpr unsigned maxIdleThreads = 16;
// A change check lists whole residencies; it may use at most a fifth of a
// core, however large the vault.
constexpr unsigned changeCheckStretch = 4;
// How often the upload thread looks for files whose retry time has come.
constexpr std::chrono::milliseconds uploadCheckInterval{50};

fp::Error hostError(std::string sentence) {
  return fp::Error{.domain = hostErrorDomain, .code = 2, .localizedDescription = std::move(sentence)};
}

class SessionNotifier final : public KernelNotifier {
 public:
  explicit SessionNotifier(FuseSession& session) : session_(session) {}
  void entryChanged(Ino parent, const std::string& name) override { session_.invalidateEntry(parent, name); }
  void inodeChanged(Ino ino) override { session_.invalidateInode(ino); }

 private:
  FuseSession& session_;
};

class FuseDomainMount final : public DomainMount {
 public:
  FuseDomainMount(const fp::Domain& domain, MountSettings settings)
      : domain_(domain), settings_(std::move(settings)),
        extension_(std::make_shared<OstrelFileProvider>(domain)) {}

  ~FuseDomainMount() override { stop(); }

  std::optional<fp::Error> start() override {
    std::lock_guard lock(lifecycle_);
    if (session_) return std::nullopt;
    try {
      if (auto problem = prepareMountPoint(settings_.mountPoint); !problem.empty()) return hostError(problem);
      tree_.reset();
      makeTree();
      context_ = OpsContext{.tree = tree_.get()};
      watcher_ = std::make_unique<ChangeWatcher>(settings_.changeInterval, [this] { tick(); }, changeCheckStretch);
      uploader_ = std::make_unique<ChangeWatcher>(uploadCheckInterval, [this] { upload(); });
      // Set before the first request can come; both only wake a thread, so
      // they are safe from a request handler.
      tree_->onVaultChanged([this] {
        tree_->forgetEnumerators();
        watcher_->poke();
      });
      tree_->onUploadDue([this] { uploader_->poke(); });
      session_ = std::make_unique<FuseSession>(settings_.mountPoint, operations(), &context_,
                                               "fsname=ostrel,subtype=ostrel,default_permissions");
      session_->start(maxIdleThreads);
      notifier_ = std::make_unique<SessionNotifier>(*session_);
      watcher_->start();
      uploader_->start();
      platform::providerLog().info("mounted {} at {}", domain_.identifier, settings_.mountPoint.string());
      return std::nullopt;
    } catch (const std::exception& error) {
      teardown();
      return hostError(std::string("cannot mount ") + settings_.mountPoint.string() + ": " + error.what());
    }
  }

  void stop() override {
    std::lock_guard lock(lifecycle_);
    if (!session_) return;
    teardown();
    platform::providerLog().info("unmounted {}", domain_.identifier);
  }

  void signalEnumerator(const std::string&) override {
    // Every listed container is asked; the anchors make that cheap.
    std::lock_guard lock(lifecycle_);
    if (tree_) tree_->forgetEnumerators();
    if (watcher_) watcher_->poke();
  }

  void errorResolved(const fp::Error&) override {
    std::lock_guard lock(lifecycle_);
    if (!tree_) return;
    tree_->resolveErrors();
    tree_->retryLocalFiles();
    if (watcher_) watcher_->poke();
  }

  std::optional<std::filesystem::path> preserve(fp::RemovalMode mode,
                                                const std::filesystem::path& destination) override {
    std::lock_guard lock(lifecycle_);
    if (!tree_) {
      // Never mounted in this process: the cache of an earlier run is still there.
      makeTree();
    }
    return tree_->preserve(mode, destination);
  }

 private:
  // The watcher's thread; nothing may escape it.
  void tick() {
    try {
      tree_->refresh(*notifier_);
    } catch (const std::exception& error) {
      platform::providerLog().error("refreshing {} failed: {}", domain_.identifier, error.what());
    }
  }

  void makeTree() {
    cache_ = std::make_unique<ContentCache>(settings_.cacheFolder);
    // Without a state folder there is nowhere to keep new files: read-only.
    WriteSettings writes;
    if (!settings_.stateFolder.empty()) writes.pendingFolder = pendingFolder(settings_.stateFolder);
    tree_ = std::make_unique<VaultTree>(extension_, *cache_, writes);
  }

  // The upload thread's; nothing may escape it either.
  void upload() {
    try {
      tree_->uploadDue(*notifier_);
    } catch (const std::exception& error) {
      platform::providerLog().error("uploading to {} failed: {}", domain_.identifier, error.what());
    }
  }

  // Order matters: no refresh may notify a session that is gone. The tree
  // and the cache stay, so that a removal may stop first and preserve after.
  void teardown() {
    if (uploader_) uploader_->stop();
    if (watcher_) watcher_->stop();
    if (session_) session_->stop();
    uploader_.reset();
    watcher_.reset();
    notifier_.reset();
    session_.reset();
  }

  const fp::Domain domain_;
  const MountSettings settings_;
  const std::shared_ptr<OstrelFileProvider> extension_;

  // Guards the lifecycle of everything below; never held by a request handler.
  std::mutex lifecycle_;
  std::unique_ptr<ContentCache> cache_;
  std::unique_ptr<VaultTree> tree_;
  OpsContext context_{};
  std::unique_ptr<FuseSession> session_;
  std::unique_ptr<SessionNotifier> notifier_;
  std::unique_ptr<ChangeWatcher> watcher_;
  std::unique_ptr<ChangeWatcher> uploader_;
};

}  // namespace

std::unique_ptr<DomainMount> makeDomainMount(const fp::Domain& domain, MountSettings settings) {
  return std::make_unique<FuseDomainMount>(domain, std::move(settings));
}

}  // namespace ostrel::host
