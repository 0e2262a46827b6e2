#include <vector>

#include "host/call/call.hpp"
#include "host/call/recorder.hpp"
#include "host/call/session.hpp"

namespace ostrel::host::call {

namespace fp = platform::fileprovider;

namespace {

// A host asks for further pages as long as the enumerator names one; the
// bound only stops an enumerator that never ends.
constexpr int maxPages = 10000;

class ListingObserver final : public fp::EnumerationObserver {
 public:
  void didEnumerateItems(std::vector<fp::ItemPtr> items) override {
    if (finished_) ++lateCalls_;
    for (auto& item : items) items_.push_back(std::move(item));
  }
  void finishEnumeratingUpToPage(std::optional<fp::Page> nextPage) override {
    if (finished_) ++lateCalls_;
    finished_ = true;
    nextPage_ = std::move(nextPage);
  }
  void finishEnumeratingWithError(fp::Error error) override {
    if (finished_) ++lateCalls_;
    finished_ = true;
    error_ = std::move(error);
  }

  // Ready for the next page.
  void restart() { finished_ = false; nextPage_.reset(); }

  bool finished_ = false;
  int lateCalls_ = 0;
  std::optional<fp::Page> nextPage_;
  std::optional<fp::Error> error_;
  std::vector<fp::ItemPtr> items_;
};

class ChangesObserver final : public fp::ChangeObserver {
 public:
  void finishEnumeratingChangesUpToSyncAnchor(fp::SyncAnchor anchor, bool moreComing) override {
    ++calls_;
    anchor_ = std::move(anchor);
    moreComing_ = moreComing;
  }
  void finishEnumeratingWithError(fp::Error error) override {
    ++calls_;
    error_ = std::move(error);
  }

  int calls_ = 0;
  std::optional<fp::SyncAnchor> anchor_;
  bool moreComing_ = false;
  std::optional<fp::Error> error_;
};

}  // namespace

Outcome performList(CallSession& session, const ListCall& call) {
  std::optional<fp::Error> error;
  fp::Enumerator* enumerator = session.enumerator(call.container, error);
  if (!enumerator) return errorOutcome(*error);

  ListingObserver observer;
  fp::Page page;
  for (int pages = 0; pages < maxPages; ++pages) {
    observer.restart();
    enumerator->enumerateItems(observer, page);
    if (!observer.finished_) return contractBroken("the enumerator returned without finishing");
    if (observer.lateCalls_ > 0) return contractBroken("the enumerator called its observer after finishing");
    if (observer.error_) return errorOutcome(*observer.error_);
    if (!observer.nextPage_) {
      Outcome outcome;
      Object items = Object::array();
      for (const auto& item : observer.items_) {
        if (!item) return contractBroken("the enumerator listed a null item");
        items.push_back(itemJson(*item));
      }
      outcome.object["items"] = std::move(items);
      return outcome;
    }
    page = *observer.nextPage_;
  }
  return contractBroken("the enumerator never reached its last page");
}

Outcome performAnchor(CallSession& session, const AnchorCall& call) {
  std::optional<fp::Error> error;
  fp::Enumerator* enumerator = session.enumerator(call.container, error);
  if (!enumerator) return errorOutcome(*error);

  Recorder<std::optional<fp::SyncAnchor>> done;
  enumerator->currentSyncAnchor(done.handler());
  if (!done.once()) return contractBroken(done.problem("currentSyncAnchor"));
  auto& [anchor] = done.values();
  Outcome outcome;
  outcome.object["anchor"] = anchor ? Object(toHex(*anchor)) : Object(nullptr);
  return outcome;
}

Outcome performChanges(CallSession& session, const ChangesCall& call) {
  std::optional<fp::Error> error;
  fp::Enumerator* enumerator = session.enumerator(call.container, error);
  if (!enumerator) return errorOutcome(*error);

  ChangesObserver observer;
  enumerator->enumerateChanges(observer, call.anchor);
  if (observer.calls_ != 1) {
    return contractBroken("the enumerator finished the changes " + std::to_string(observer.calls_) + " times");
  }
  if (observer.error_) return errorOutcome(*observer.error_);
  Outcome outcome;
  outcome.object["anchor"] = toHex(*observer.anchor_);
  outcome.object["moreComing"] = observer.moreComing_;
  return outcome;
}

}  // namespace ostrel::host::call
