#include "extension/items/ostrel_enumerator.hpp"

#include <exception>
#include <string>
#include <variant>

#include "extension/bridge/bridge_error.hpp"
#include "extension/items/folder_listing.hpp"
#include "extension/items/listing_fingerprint.hpp"
#include "extension/items/residency_folder_item.hpp"
#include "extension/items/working_set.hpp"
#include "extension/model/finder_folders.hpp"
#include "extension/provider/error_mapping.hpp"
#include "platform/log.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

namespace {

constexpr std::string_view rootAnchor = "root/v2";
constexpr std::string_view trashAnchor = "trash/v2";

// A non-standard exception still has to end the call with an error.
fp::Error unknownError() { return fp::Error::fromException(std::runtime_error("unknown error")); }

}  // namespace

OstrelEnumerator::OstrelEnumerator(fp::ItemIdentifier container, std::shared_ptr<const OstrelBridge> bridge,
                                   Clock::duration cacheLifetime)
    : container_(std::move(container)), bridge_(std::move(bridge)), cacheLifetime_(cacheLifetime) {}

std::vector<VaultFile> OstrelEnumerator::listedFiles(Residency residency) const {
  try {
    return bridge_->enumerate(residency);
  } catch (const BridgeError& error) {
    if (error.kind() == BridgeError::Kind::notSignedIn) return {};
    throw;
  }
}

std::optional<Residency> OstrelEnumerator::containerResidency() const {
  if (auto folder = FinderFolders::parse(container_)) return Residency::fromSlug(folder->residency);
  return Residency::fromSlug(container_);
}

std::vector<fp::ItemPtr> OstrelEnumerator::workingSet() const {
  std::vector<fp::ItemPtr> items;
  for (Residency residency : workingSetResidencies) appendWorkingSet(items, residency, listedFiles(residency));
  return items;
}

void OstrelEnumerator::enumerateItems(fp::EnumerationObserver& observer, const fp::Page&) {
  // Work out the answer first, then speak to the observer once, outside any
  // handler, so that it hears exactly one ending.
  std::variant<std::vector<fp::ItemPtr>, fp::Error> answer;
  if (container_ == fp::rootContainer) {
    std::vector<fp::ItemPtr> items;
    for (Residency residency : Residency::allCases()) items.push_back(std::make_shared<ResidencyFolderItem>(residency));
    answer = std::move(items);
  } else if (container_ == fp::workingSetContainer) {
    try {
      answer = workingSet();
    } catch (const std::exception& error) {
      platform::providerLog().error("enumerate working set failed: {}", error.what());
      answer = fileProviderError(error);
    } catch (...) {
      answer = unknownError();
    }
  } else if (container_ == fp::trashContainer) {
    answer = std::vector<fp::ItemPtr>();
  } else if (auto residency = containerResidency()) {
    auto folder = FinderFolders::parse(container_);
    try {
      answer = folderListing(*residency, folder ? std::string_view(folder->path) : std::string_view(),
                             listedFiles(*residency));
    } catch (const std::exception& error) {
      platform::providerLog().error("enumerate {} failed: {}", container_, error.what());
      answer = fileProviderError(error);
    } catch (...) {
      answer = unknownError();
    }
  } else {
    answer = fp::Error::fileProvider(fp::errorCode::noSuchItem);
  }

  if (auto* items = std::get_if<std::vector<fp::ItemPtr>>(&answer)) {
    observer.didEnumerateItems(std::move(*items));
    observer.finishEnumeratingUpToPage(std::nullopt);
  } else {
    observer.finishEnumeratingWithError(std::get<fp::Error>(std::move(answer)));
  }
}

std::optional<fp::SyncAnchor> OstrelEnumerator::computeListingFingerprint() const {
  if (container_ == fp::rootContainer) return fp::SyncAnchor(rootAnchor);
  if (container_ == fp::trashContainer) return fp::SyncAnchor(trashAnchor);
  ListingText text;
  if (container_ == fp::workingSetContainer) {
    for (Residency residency : workingSetResidencies) text.add(residency, listedFiles(residency));
  } else if (auto residency = containerResidency()) {
    text.add(*residency, listedFiles(*residency));
  } else {
    return std::nullopt;
  }
  return text.digest();
}

std::optional<fp::SyncAnchor> OstrelEnumerator::listingFingerprint() {
  {
    std::lock_guard lock(cacheLock_);
    // A monotonic clock: a wall clock set back would keep a stale
    // fingerprint alive for as long as it was set back.
    if (cachedFingerprint_ && Clock::now() - cachedFingerprint_->at < cacheLifetime_) {
      return cachedFingerprint_->value;
    }
  }
  std::optional<fp::SyncAnchor> computed = computeListingFingerprint();
  if (computed) {
    std::lock_guard lock(cacheLock_);
    cachedFingerprint_ = Fingerprint{*computed, Clock::now()};
  }
  return computed;
}

void OstrelEnumerator::currentSyncAnchor(std::function<void(std::optional<fp::SyncAnchor>)> completionHandler) {
  std::optional<fp::SyncAnchor> anchor;
  try {
    anchor = listingFingerprint();
  } catch (...) {
    anchor.reset();  // the host simply has no anchor yet
  }
  completionHandler(std::move(anchor));
}

void OstrelEnumerator::enumerateChanges(fp::ChangeObserver& observer, const fp::SyncAnchor& anchor) {
  std::variant<fp::SyncAnchor, fp::Error> answer;
  try {
    std::optional<fp::SyncAnchor> current = listingFingerprint();
    if (current && *current == anchor) {
      answer = std::move(*current);
    } else {
      answer = fp::Error::fileProvider(fp::errorCode::syncAnchorExpired);
    }
  } catch (const BridgeError& error) {
    if (error.kind() == BridgeError::Kind::appNotRunning || error.isNotReady()) {
      // The host should wait for the app either way; it is told the app is
      // not running.
      answer = fileProviderError(BridgeError::appNotRunning());
    } else if (error.isClearing()) {
      answer = fileProviderError(error);
    } else {
      platform::providerLog().error("enumerateChanges {} failed: {}", container_, error.what());
      answer = fileProviderError(error);  // a payload case: passed on as it is
    }
  } catch (const std::exception& error) {
    platform::providerLog().error("enumerateChanges {} failed: {}", container_, error.what());
    answer = fileProviderError(error);
  } catch (...) {
    answer = unknownError();
  }

  if (auto* current = std::get_if<fp::SyncAnchor>(&answer)) {
    observer.finishEnumeratingChangesUpToSyncAnchor(std::move(*current), false);
  } else {
    observer.finishEnumeratingWithError(std::get<fp::Error>(std::move(answer)));
  }
}

}  // namespace ostrel
