#pragma once

// How the host lists a container and asks what changed in it. Every call
// reaches its observer or completion before it returns.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileprovider/error.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel::platform::fileprovider {

// Opaque bytes the extension chooses.
using Page = std::string;
using SyncAnchor = std::string;

class EnumerationObserver {
 public:
  virtual ~EnumerationObserver() = default;
  virtual void didEnumerateItems(std::vector<ItemPtr> items) = 0;
  // No next page ends the listing.
  virtual void finishEnumeratingUpToPage(std::optional<Page> nextPage) = 0;
  virtual void finishEnumeratingWithError(Error error) = 0;
};

class ChangeObserver {
 public:
  virtual ~ChangeObserver() = default;
  virtual void finishEnumeratingChangesUpToSyncAnchor(SyncAnchor anchor, bool moreComing) = 0;
  virtual void finishEnumeratingWithError(Error error) = 0;
};

class Enumerator {
 public:
  virtual ~Enumerator() = default;
  virtual void invalidate() = 0;
  virtual void enumerateItems(EnumerationObserver& observer, const Page& page) = 0;
  virtual void enumerateChanges(ChangeObserver& observer, const SyncAnchor& anchor) = 0;
  // Nothing when the container has no anchor.
  virtual void currentSyncAnchor(std::function<void(std::optional<SyncAnchor>)> completionHandler) = 0;
};

}  // namespace ostrel::platform::fileprovider
