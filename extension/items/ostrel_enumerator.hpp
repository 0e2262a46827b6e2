#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "extension/bridge/ostrel_bridge.hpp"
#include "platform/fileprovider/enumerator.hpp"

namespace ostrel {

// Lists one container for the host and fingerprints it for change tracking.
// Every listing asks the companion app afresh; only the fingerprint is
// cached, briefly, so that an anchor request and a change request that
// follow each other share their bridge requests.
class OstrelEnumerator final : public platform::fileprovider::Enumerator {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration defaultCacheLifetime = std::chrono::seconds(1);

  OstrelEnumerator(platform::fileprovider::ItemIdentifier container, std::shared_ptr<const OstrelBridge> bridge,
                   Clock::duration cacheLifetime = defaultCacheLifetime);

  void invalidate() override {}
  // The page is ignored: everything comes in one page.
  void enumerateItems(platform::fileprovider::EnumerationObserver& observer,
                      const platform::fileprovider::Page& page) override;
  void enumerateChanges(platform::fileprovider::ChangeObserver& observer,
                        const platform::fileprovider::SyncAnchor& anchor) override;
  void currentSyncAnchor(
      std::function<void(std::optional<platform::fileprovider::SyncAnchor>)> completionHandler) override;

 private:
  struct Fingerprint {
    platform::fileprovider::SyncAnchor value;
    Clock::time_point at;
  };

  // A signed-out companion app lists nothing.
  std::vector<VaultFile> listedFiles(Residency residency) const;
  std::vector<platform::fileprovider::ItemPtr> workingSet() const;
  // The residency that a residency folder or sub-folder identifier names.
  std::optional<Residency> containerResidency() const;

  std::optional<platform::fileprovider::SyncAnchor> listingFingerprint();
  std::optional<platform::fileprovider::SyncAnchor> computeListingFingerprint() const;

  const platform::fileprovider::ItemIdentifier container_;
  const std::shared_ptr<const OstrelBridge> bridge_;
  const Clock::duration cacheLifetime_;

  // A leaf lock, never held across a bridge request.
  std::mutex cacheLock_;
  std::optional<Fingerprint> cachedFingerprint_;  // guarded by cacheLock_
};

}  // namespace ostrel
